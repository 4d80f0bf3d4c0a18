// The libFuzzer entry of one target, chosen when the binary is built.

#include "fuzz_targets.h"

#ifndef KAVOR_FUZZ_TARGET
#error "KAVOR_FUZZ_TARGET must name the target function"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    KAVOR_FUZZ_TARGET(fuzz::Input(data, size));
    return 0;
}
