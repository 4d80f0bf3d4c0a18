#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace http {

// Where a response body goes: bytes are only ever appended, so the position is the size.
class TIdStream
{
public:
    virtual ~TIdStream() = default;
    virtual std::int64_t Size() const = 0;
    virtual void Write(const char* data, std::size_t size) = 0;
    // Cuts the stream to size bytes (never longer).
    virtual void Truncate(std::int64_t size) = 0;
    // Makes room for a total of size bytes, so a body of known length is held in one piece.
    virtual void Reserve(std::int64_t size) { (void)size; }
};

// A body held in memory; Release hands the bytes over without copying them.
class TIdStringStream : public TIdStream
{
public:
    std::int64_t Size() const override { return static_cast<std::int64_t>(m_data.size()); }
    void Write(const char* data, std::size_t size) override { m_data.append(data, size); }
    void Truncate(std::int64_t size) override;
    void Reserve(std::int64_t size) override;

    const std::string& Data() const { return m_data; }
    std::string Release() { return std::move(m_data); }

private:
    // From this size on a reserved body asks for huge pages.
    static constexpr std::size_t kHugeBodyBytes = std::size_t{2} << 20;

    std::string m_data;
};

} // namespace http
