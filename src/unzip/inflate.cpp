#include "inflate.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "huffman_table.h"
#include "inflate_fast_table.h"
#include "unzip/unzip_archive.h"
#include "window_copy.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define KAVOR_INFLATE_BMI2 1
#include <immintrin.h>
#endif

namespace unzip {
namespace {

// RFC 1951, 3.2.5. Length codes 286 and 287 and distance codes 30 and 31 have no meaning: their
// extra-bit count is the invalid marker, so meeting one is invalid data.
constexpr std::array<std::uint16_t, 31> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr std::array<std::uint16_t, 31> kLengthExtra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,          2,         2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kOpInvalid, kOpInvalid};
constexpr std::array<std::uint16_t, 32> kDistanceBase = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr std::array<std::uint16_t, 32> kDistanceExtra = {
    0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,          6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, kOpInvalid, kOpInvalid};
// RFC 1951, 3.2.7: the order in which code-length code lengths are sent.
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr std::int32_t kLiteralLookupBits = 9;
constexpr std::int32_t kDistanceLookupBits = 6;
constexpr std::int32_t kFixedLiteralBits = 7;
constexpr std::int32_t kFixedDistanceBits = 5;
constexpr std::int32_t kCodeLengthBits = 7;

constexpr std::uint32_t kWindow = OutputWindow::kSize;
constexpr unsigned kMaxMatch = 258;
// The fast loop never refills from the source, and decodes a symbol only while the bytes not yet
// taken hold 64 bits: symbol-by-symbol decoding looks at most 48 bits past a symbol's start
// (15 + 5 + 15 + 13), whole bytes at a time, so it would not have refilled for that symbol
// either. (A refill takes one word from the buffer.)
constexpr std::ptrdiff_t kFastInputMargin = 8;
constexpr std::int32_t kContinue = 1000; // internal: the fast loop stopped without a result

class Inflater
{
public:
    Inflater(BitInput& in, OutputWindow& window, bool bmi2)
        : m_in(in), m_window(window), m_bmi2(bmi2)
    {}

    std::int32_t run()
    {
        m_in.reset();
        m_outPos = 0;
        for (;;) {
            bool last = false;
            const std::int32_t result = InflateBlock(last);
            if (result != 0)
                return result;
            if (last)
                return m_window.FlushOutput(m_outPos) ? 0 : kOutputFailed;
        }
    }

private:
    std::int32_t InflateBlock(bool& last)
    {
        m_in.NeedBits(1);
        last = (m_in.bits() & 1) != 0;
        m_in.DropBits(1);
        m_in.NeedBits(2);
        const unsigned type = m_in.bits() & 3;
        m_in.DropBits(2);
        switch (type) {
        case 0:
            return InflateStoredBlock();
        case 1:
            return InflateFixedBlock();
        case 2:
            return InflateDynamicBlock();
        default:
            return kInvalidData;
        }
    }

    // Puts one byte into the window; false when the flush of a full window failed.
    bool putByte(std::uint8_t b)
    {
        m_window.data()[m_outPos++] = b;
        if (m_outPos == kWindow) {
            if (!m_window.FlushOutput(kWindow))
                return false;
            m_outPos = 0;
        }
        return true;
    }

    std::int32_t InflateStoredBlock()
    {
        m_in.alignToByte();
        m_in.NeedBits(16);
        std::uint32_t len = m_in.bits() & 0xFFFF;
        m_in.DropBits(16);
        m_in.NeedBits(16);
        if (len != (~m_in.bits() & 0xFFFF))
            return kInvalidData;
        m_in.DropBits(16);

        // Whole bytes only from here on: first those still held as bits, then straight from the
        // input buffer; a byte that needs a refill goes through the bit reader, so the refill
        // and the end-of-input test happen exactly where byte-by-byte copying has them.
        while (len > 0 && !m_in.endOfInput()) {
            if (m_in.bitCount() == 0) {
                BitInput::FastState s = m_in.beginFast();
                const auto buffered = static_cast<std::uint32_t>(s.end - s.next);
                if (buffered > 0) {
                    const std::uint32_t n = std::min({len, buffered, kWindow - m_outPos});
                    std::memcpy(m_window.data() + m_outPos, s.next, n);
                    s.next += n;
                    m_in.endFast(s);
                    m_outPos += n;
                    len -= n;
                    if (m_outPos == kWindow) {
                        if (!m_window.FlushOutput(kWindow))
                            return kOutputFailed;
                        m_outPos = 0;
                    }
                    continue;
                }
            }
            --len;
            m_in.NeedBits(8);
            if (!putByte(static_cast<std::uint8_t>(m_in.bits())))
                return kOutputFailed;
            m_in.DropBits(8);
        }
        return m_in.endOfInput() ? kPrematureEnd : 0;
    }

    std::int32_t InflateFixedBlock()
    {
        if (!m_fixedBuilt) {
            std::array<std::uint16_t, 288> lengths{};
            std::fill(lengths.begin(), lengths.begin() + 144, 8);
            std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
            std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
            std::fill(lengths.begin() + 280, lengths.end(), 8);
            m_fixedLiteralBits = kFixedLiteralBits;
            std::int32_t result =
                BuildHuffmanTable(lengths, 257, kLengthBase.data(), kLengthExtra.data(),
                                  m_fixedLiteral, m_fixedLiteralBits);
            if (result != 0)
                return result;
            std::array<std::uint16_t, 30> distanceLengths{};
            distanceLengths.fill(5);
            m_fixedDistanceBits = kFixedDistanceBits;
            result = BuildHuffmanTable(distanceLengths, 0, kDistanceBase.data(),
                                       kDistanceExtra.data(), m_fixedDistance, m_fixedDistanceBits);
            if (result > kCodeIncomplete) {
                FreeHuffmanTable(m_fixedLiteral);
                return kInvalidData;
            }
            m_fixedBuilt = true;
        }
        if (!m_fastTablesFixed) {
            std::array<std::uint16_t, 288> lengths{};
            std::fill(lengths.begin(), lengths.begin() + 144, 8);
            std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
            std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
            std::fill(lengths.begin() + 280, lengths.end(), 8);
            m_fast.buildLiteralLength(lengths, kLengthBase.data(), kLengthExtra.data());
            std::array<std::uint16_t, 30> distanceLengths{};
            distanceLengths.fill(5);
            m_fast.buildDistance(distanceLengths, kDistanceBase.data(), kDistanceExtra.data());
            m_fastTablesFixed = true;
        }
        return InflateCodes(m_fixedLiteral, m_fixedDistance,
                            static_cast<unsigned>(m_fixedLiteralBits),
                            static_cast<unsigned>(m_fixedDistanceBits));
    }

    std::int32_t InflateDynamicBlock()
    {
        m_in.NeedBits(5);
        const unsigned nl = 257 + (m_in.bits() & 31);
        m_in.DropBits(5);
        m_in.NeedBits(5);
        const unsigned nd = 1 + (m_in.bits() & 31);
        m_in.DropBits(5);
        m_in.NeedBits(4);
        const unsigned nb = 4 + (m_in.bits() & 15);
        m_in.DropBits(4);

        std::array<std::uint16_t, 320> lengths{};
        for (unsigned j = 0; j < nb; ++j) {
            m_in.NeedBits(3);
            lengths[kCodeLengthOrder[j]] = static_cast<std::uint16_t>(m_in.bits() & 7);
            m_in.DropBits(3);
        }
        std::int32_t bits = kCodeLengthBits;
        std::int32_t result = BuildHuffmanTable(std::span(lengths.data(), 19), 19, nullptr, nullptr,
                                                m_codeLengths, bits);
        if (result != 0 || m_codeLengths.empty())
            return kInvalidData;

        // The code-length code is at most 7 bits long and the root covers its longest code, so
        // an entry is taken without a walk.
        const unsigned total = nl + nd;
        const auto mask = (1u << bits) - 1;
        unsigned i = 0;
        std::uint16_t previous = 0;
        while (i < total) {
            m_in.NeedBits(static_cast<unsigned>(bits));
            const HuffEntry& e = m_codeLengths.entries()[m_in.bits() & mask];
            m_in.DropBits(e.bits);
            const unsigned j = e.value;
            if (j < 16) {
                lengths[i++] = static_cast<std::uint16_t>(j);
                previous = static_cast<std::uint16_t>(j);
                continue;
            }
            unsigned repeat;
            std::uint16_t value = 0;
            if (j == 16) {
                m_in.NeedBits(2);
                repeat = 3 + (m_in.bits() & 3);
                m_in.DropBits(2);
                if (i + repeat > total)
                    return kInflateRepeatOverrun;
                value = previous;
            } else if (j == 17) {
                m_in.NeedBits(3);
                repeat = 3 + (m_in.bits() & 7);
                m_in.DropBits(3);
                if (i + repeat > total)
                    return kInflateRepeatOverrun;
            } else {
                m_in.NeedBits(7);
                repeat = 11 + (m_in.bits() & 127);
                m_in.DropBits(7);
                if (i + repeat > total)
                    return kInvalidData;
            }
            std::fill_n(lengths.begin() + i, repeat, value);
            i += repeat;
            previous = value;
        }
        FreeHuffmanTable(m_codeLengths);

        std::int32_t literalBits = kLiteralLookupBits;
        result = BuildHuffmanTable(std::span(lengths.data(), nl), 257, kLengthBase.data(),
                                   kLengthExtra.data(), m_literal, literalBits);
        if (result != 0)
            return kInvalidData;
        std::int32_t distanceBits = kDistanceLookupBits;
        result = BuildHuffmanTable(std::span(lengths.data() + nl, nd), 0, kDistanceBase.data(),
                                   kDistanceExtra.data(), m_distance, distanceBits);
        if (result > kCodeIncomplete)
            return kInvalidData;
        m_fast.buildLiteralLength(std::span(lengths.data(), nl), kLengthBase.data(),
                                  kLengthExtra.data());
        m_fast.buildDistance(std::span(lengths.data() + nl, nd), kDistanceBase.data(),
                             kDistanceExtra.data());
        m_fastTablesFixed = false;
        return InflateCodes(m_literal, m_distance, static_cast<unsigned>(literalBits),
                            static_cast<unsigned>(distanceBits));
    }

    // Decodes literal/length and distance codes until the end-of-block code. Symbol by symbol
    // through the bit reader near the ends of the input buffer and of the window; in between, in
    // the fast loop.
    std::int32_t InflateCodes(const HuffmanTable& tl, const HuffmanTable& td, unsigned bl,
                              unsigned bd)
    {
        const auto plainIndex = [](std::uint64_t bits, unsigned mask) {
            return static_cast<unsigned>(bits) & mask;
        };
        while (!m_in.endOfInput()) {
            if (!tl.empty()) {
                const std::int32_t fast = fastCodesChosen();
                if (fast != kContinue)
                    return fast;
            }
            const HuffEntry* t = walkHuffmanTable(m_in, tl, bl, plainIndex);
            if (t == nullptr)
                return kInvalidData;
            if (t->op == kOpLiteral) {
                if (!putByte(static_cast<std::uint8_t>(t->value)))
                    return kOutputFailed;
                continue;
            }
            if (t->op == kOpEndOfBlock)
                return 0;
            unsigned e = t->op;
            m_in.NeedBits(e);
            unsigned len = t->value + (static_cast<unsigned>(m_in.bits()) & ((1u << e) - 1));
            m_in.DropBits(e);

            t = walkHuffmanTable(m_in, td, bd, plainIndex);
            if (t == nullptr)
                return kInvalidData;
            e = t->op;
            m_in.NeedBits(e);
            std::uint32_t d =
                (m_outPos - t->value - (static_cast<unsigned>(m_in.bits()) & ((1u << e) - 1))) &
                0xFFFF;
            m_in.DropBits(e);

            while (len > 0) {
                d &= kWindow - 1;
                const unsigned chunk = std::min(len, kWindow - std::max(d, m_outPos));
                len -= chunk;
                window_copy::copyInWindow(m_window.data(), m_outPos, d, chunk);
                m_outPos += chunk;
                d += chunk;
                if (m_outPos == kWindow) {
                    if (!m_window.FlushOutput(kWindow))
                        return kOutputFailed;
                    m_outPos = 0;
                }
            }
        }
        return kPrematureEnd;
    }

    // Decodes symbols while at least kFastInputMargin bytes are buffered and a whole match fits
    // into the window before its end, so neither a refill nor a flush can fall inside a symbol.
    // Each step refills the bit reservoir to 56 bits or more, which holds up to four literals
    // of root codes or one whole match (at most 15 + 5 + 15 + 13 bits), and looks up the next
    // entry before the current one's copy is done. Returns a result, or kContinue when the
    // symbol-by-symbol path must take over.
    std::int32_t fastCodesChosen()
    {
#ifdef KAVOR_INFLATE_BMI2
        if (m_bmi2)
            return fastCodesBmi2();
#endif
        return fastCodesPortable();
    }

    // The same loop twice: with BMI2 the compiler turns the variable shifts and bit masks into
    // single instructions (shrx, bzhi) that need no count register.
    std::int32_t fastCodesPortable()
    {
        return fastCodes<false>();
    }
#ifdef KAVOR_INFLATE_BMI2
    __attribute__((target("bmi2"))) std::int32_t fastCodesBmi2()
    {
        return fastCodes<true>();
    }
#endif

    // Adds an entry's extra bits to value. GCC does not see a bzhi in the masking, so it is
    // asked for, in a statement rather than a function, so that it is compiled into the BMI2
    // loop itself; clang finds it on its own.
#if defined(KAVOR_INFLATE_BMI2) && !defined(__clang__)
#define KAVOR_ADD_EXTRA_BITS(value, entry, bits)                                                   \
    do {                                                                                           \
        if constexpr (Bmi2)                                                                        \
            (value) += static_cast<std::uint32_t>(                                                 \
                __builtin_ia32_bzhi_di((bits), bitsToDrop(entry)) >> codeBits(entry));             \
        else                                                                                       \
            (value) += extraBits((entry), (bits));                                                 \
    } while (false)
#else
#define KAVOR_ADD_EXTRA_BITS(value, entry, bits) ((value) += extraBits((entry), (bits)))
#endif

    template <bool Bmi2> [[gnu::always_inline]] std::int32_t fastCodes()
    {
        using namespace inflate_entry;
        BitInput::FastState s = m_in.beginFast();
        if (s.end - s.next < kFastInputMargin)
            return kContinue;
        const std::uint8_t* const inLimit = s.end - kFastInputMargin;
        constexpr std::uint32_t litMask = InflateFastTables::kLiteralMask;
        const std::uint32_t* const lit = m_fast.entries();
        const std::uint32_t* const dist = lit + InflateFastTables::kDistanceStart;
        constexpr std::uint32_t distMask = InflateFastTables::kDistanceMask;
        std::uint8_t* const win = m_window.data();
        std::uint8_t* out = win + m_outPos;
        // Below it, four literals or a whole match leave at least one byte of the window free,
        // so that only the careful steps near the end fill it (and flush it).
        std::uint8_t* const outLimit = win + (kWindow - kMaxMatch - 1);
        // The bit count is kept modulo 64 in the low six bits of bitsLeft, so that whole entries
        // can be subtracted (their bits above the count are multiples of 64).
        const std::uint8_t* in = s.next;
        std::uint64_t bitBuf = s.bitBuf;
        std::uint32_t bitsLeft = s.bitCount;
        const auto refill = [&] {
            std::uint64_t word;
            std::memcpy(&word, in, sizeof word);
            if constexpr (std::endian::native == std::endian::big)
                word = __builtin_bswap64(word);
            bitBuf |= word << (bitsLeft & 63);
            in += (~bitsLeft & 63) >> 3;
            bitsLeft |= 56;
        };
        const auto drop = [&](std::uint32_t e) {
            bitBuf >>= e & 63;
            bitsLeft -= e;
        };
        std::int32_t result = kContinue;

        // The first look-up needs real input bits where the reader handed over fewer.
        refill();
        std::uint32_t entry = lit[bitBuf & litMask];
        const auto flushIfFull = [&] {
            if (out != win + kWindow)
                return true;
            out = win;
            return m_window.FlushOutput(kWindow);
        };
        while (in <= inLimit) {
            refill();
            if (entry & kLiteral) {
                if (out > outLimit) [[unlikely]] {
                    // Near the window's end, one byte at a time.
                    drop(entry);
                    *out++ = static_cast<std::uint8_t>(value(entry));
                    entry = lit[bitBuf & litMask];
                    if (!flushIfFull()) {
                        result = kOutputFailed;
                        break;
                    }
                    continue;
                }
                // Root literals take at most 11 bits each: four fit into one refill.
                drop(entry);
                *out++ = static_cast<std::uint8_t>(value(entry));
                entry = lit[bitBuf & litMask];
                if (entry & kLiteral) {
                    drop(entry);
                    *out++ = static_cast<std::uint8_t>(value(entry));
                    entry = lit[bitBuf & litMask];
                    if (entry & kLiteral) {
                        drop(entry);
                        *out++ = static_cast<std::uint8_t>(value(entry));
                        entry = lit[bitBuf & litMask];
                        if (entry & kLiteral) {
                            drop(entry);
                            *out++ = static_cast<std::uint8_t>(value(entry));
                            entry = lit[bitBuf & litMask];
                        }
                    }
                }
                continue;
            }
            if (entry & kExceptional) {
                if (entry & kSubTable) {
                    drop(entry);
                    entry = linked(lit, entry, bitBuf);
                    if (entry & kLiteral) {
                        drop(entry);
                        *out++ = static_cast<std::uint8_t>(value(entry));
                        entry = lit[bitBuf & litMask];
                        if (!flushIfFull()) {
                            result = kOutputFailed;
                            break;
                        }
                        continue;
                    }
                }
                if (entry & kExceptional) {
                    if (entry & kEndOfBlock) {
                        drop(entry);
                        result = 0;
                    } else {
                        result = kInvalidData;
                    }
                    break;
                }
            }
            std::uint32_t len = value(entry);
            KAVOR_ADD_EXTRA_BITS(len, entry, bitBuf);
            drop(entry);
            entry = dist[bitBuf & distMask];
            if (entry & kExceptional) {
                if (entry & kSubTable) {
                    drop(entry);
                    entry = linked(dist, entry, bitBuf);
                }
                if (entry & kExceptional) {
                    result = kInvalidData;
                    break;
                }
            }
            std::uint32_t distance = value(entry);
            KAVOR_ADD_EXTRA_BITS(distance, entry, bitBuf);
            drop(entry);
            entry = lit[bitBuf & litMask];

            // Before the start of this pass, the reference reads the window's previous pass.
            std::uint32_t outPos = static_cast<std::uint32_t>(out - win);
            std::uint32_t from = (outPos - distance) & (kWindow - 1);
            if (out <= outLimit &&
                (from < outPos || (from + len <= kWindow && from >= outPos + 16))) [[likely]] {
                window_copy::copyMatchWithRoom(out, win + from, len);
                out += len;
                continue;
            }
            // The match reaches the window's end, runs over the end of its previous pass, or
            // starts less than 16 bytes ahead: in pieces that stop at either end.
            bool flushed = true;
            for (std::uint32_t left = len; left > 0 && flushed;) {
                from &= kWindow - 1;
                const std::uint32_t chunk = std::min(left, kWindow - std::max(from, outPos));
                window_copy::copyInWindow(win, outPos, from, chunk);
                left -= chunk;
                outPos += chunk;
                from += chunk;
                out = win + outPos;
                flushed = flushIfFull();
                outPos = static_cast<std::uint32_t>(out - win);
            }
            if (!flushed) {
                result = kOutputFailed;
                break;
            }
        }
        s.next = in;
        s.bitBuf = bitBuf;
        s.bitCount = bitsLeft & 63;
        m_in.endFast(s);
        m_outPos = static_cast<std::uint32_t>(out - win);
        return result;
    }

    BitInput& m_in;
    OutputWindow& m_window;
    bool m_bmi2;
    std::uint32_t m_outPos = 0;
    HuffmanTable m_codeLengths;
    HuffmanTable m_literal;
    HuffmanTable m_distance;
    bool m_fixedBuilt = false;
    HuffmanTable m_fixedLiteral;
    HuffmanTable m_fixedDistance;
    std::int32_t m_fixedLiteralBits = 0;
    std::int32_t m_fixedDistanceBits = 0;
    // The fast loop's tables for the current block; they hold the fixed code only when
    // m_fastTablesFixed is set, so that a run of fixed blocks builds them once.
    InflateFastTables m_fast;
    bool m_fastTablesFixed = false;
};

} // namespace

bool inflateUsesBmi2()
{
#ifdef KAVOR_INFLATE_BMI2
    return __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

std::int32_t Inflate(BitInput& in, OutputWindow& window)
{
    // Chosen once; the choice never changes afterwards, so threads may share it.
    static const bool bmi2 = inflateUsesBmi2();
    Inflater inflater(in, window, bmi2);
    return inflater.run();
}

std::int32_t InflatePortable(BitInput& in, OutputWindow& window)
{
    Inflater inflater(in, window, false);
    return inflater.run();
}

} // namespace unzip
