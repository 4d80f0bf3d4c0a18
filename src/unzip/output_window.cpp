#include "output_window.h"

namespace unzip {

OutputWindow::OutputWindow(ByteSink& sink)
    : m_sink(sink), m_bytes(new std::uint8_t[kSize + kSlack]())
{}

} // namespace unzip
