// The Intelligent Mail barcode (USPS-B-3200), POSTNET's successor: a 20-digit tracking code and a
// 0-, 5-, 9- or 11-digit routing code become one 102-bit number, protected by an 11-bit CRC, cut
// into ten codewords, turned into ten 13-bit characters and spread over 65 bars of four states
// (full, ascender, descender, tracker). Bars and spaces are pWidth wide, as POSTNET's; the
// states take thirds of pHeight. The text is the data, centred below.
#include <cstdint>

#include "render/numeric.h"
#include "symbologies/extended/extended.h"

namespace quillet::extended {
namespace {

// USPS-B-3200 appendix D tables I and II, built as the publication builds them: every 13-bit
// value with five (table I) or two (table II) bits set, in increasing order, next to its mirror
// image; a value that is its own mirror image is placed from the end of the table.
struct CharacterTables {
    std::array<std::uint16_t, 1287> fiveOf13{};
    std::array<std::uint16_t, 78> twoOf13{};
};

constexpr CharacterTables buildCharacterTables() {
    CharacterTables tables;
    std::size_t fiveLow = 0, fiveHigh = tables.fiveOf13.size() - 1;
    std::size_t twoLow = 0, twoHigh = tables.twoOf13.size() - 1;
    for (std::uint16_t value = 0; value < 8192; ++value) {
        int bits = 0;
        std::uint16_t mirror = 0;
        for (int bit = 0; bit < 13; ++bit) {
            const int set = (value >> bit) & 1;
            bits += set;
            mirror = static_cast<std::uint16_t>(mirror | (set << (12 - bit)));
        }
        if ((bits != 5 && bits != 2) || mirror < value) continue;
        std::uint16_t* table = bits == 5 ? tables.fiveOf13.data() : tables.twoOf13.data();
        std::size_t& low = bits == 5 ? fiveLow : twoLow;
        std::size_t& high = bits == 5 ? fiveHigh : twoHigh;
        if (mirror == value) {
            table[high--] = value;
        } else {
            table[low++] = value;
            table[low++] = mirror;
        }
    }
    return tables;
}
constexpr CharacterTables characterTables = buildCharacterTables();
static_assert(characterTables.fiveOf13[0] == 0x001F && characterTables.fiveOf13[1] == 0x1F00);
static_assert(characterTables.fiveOf13[1286] == 0x01F0 && characterTables.twoOf13[0] == 0x0003);
static_assert(characterTables.twoOf13[1] == 0x1800 && characterTables.twoOf13[77] == 0x00A0);

// USPS-B-3200 appendix D table IV: for bars 1 to 65, the character (A-J) and bit whose value
// draws the bar's descender, then the one for its ascender.
struct BarSource {
    std::string_view descender;
    std::string_view ascender;
};
constexpr std::array<BarSource, 65> barSources = {{
    {"H2", "E3"},  {"B10", "A0"},  {"J12", "C8"}, {"F5", "G11"}, {"I9", "D1"},   // 1-5
    {"A1", "F12"}, {"C5", "B8"},   {"E4", "J11"}, {"G3", "I10"}, {"D9", "H6"},   // 6-10
    {"F11", "B4"}, {"I5", "C12"},  {"J10", "A2"}, {"H1", "G7"},  {"D6", "E9"},   // 11-15
    {"A3", "I6"},  {"G4", "C7"},   {"B1", "J9"},  {"H10", "F2"}, {"E0", "D8"},   // 16-20
    {"G2", "A4"},  {"I11", "B0"},  {"J8", "D12"}, {"C6", "H7"},  {"F1", "E10"},  // 21-25
    {"B12", "G9"}, {"H3", "I0"},   {"F8", "J7"},  {"E6", "C10"}, {"D4", "A5"},   // 26-30
    {"I4", "F7"},  {"H11", "B9"},  {"G0", "J6"},  {"A6", "E8"},  {"C1", "D2"},   // 31-35
    {"F9", "I12"}, {"E11", "G1"},  {"J5", "H4"},  {"D3", "B2"},  {"A7", "C0"},   // 36-40
    {"B3", "E1"},  {"G10", "D5"},  {"I7", "J4"},  {"C11", "F6"}, {"A8", "H12"},  // 41-45
    {"E2", "I1"},  {"F10", "D0"},  {"J3", "A9"},  {"G5", "C4"},  {"H8", "B7"},   // 46-50
    {"F0", "E5"},  {"C3", "A10"},  {"G12", "J2"}, {"D11", "B6"}, {"I8", "H9"},   // 51-55
    {"F4", "A11"}, {"B5", "C2"},   {"J1", "E12"}, {"I3", "G6"},  {"H0", "D7"},   // 56-60
    {"E7", "H5"},  {"A12", "B11"}, {"C9", "J0"},  {"G8", "F3"},  {"D10", "I2"},  // 61-65
}};

constexpr std::size_t characterOf(std::string_view source) {
    return static_cast<std::size_t>(source[0] - 'A');
}
constexpr int bitOf(std::string_view source) {
    return source.size() == 2 ? source[1] - '0' : (source[1] - '0') * 10 + (source[2] - '0');
}

// Every one of the 130 character bits draws exactly one bar half.
static_assert([] {
    std::array<int, 130> uses{};
    for (const BarSource& bar : barSources) {
        for (const std::string_view source : {bar.descender, bar.ascender}) {
            if (source[0] < 'A' || source[0] > 'J' || bitOf(source) > 12) return false;
            ++uses[characterOf(source) * 13 + static_cast<std::size_t>(bitOf(source))];
        }
    }
    for (const int use : uses)
        if (use != 1) return false;
    return true;
}());

// The bar sources as (character, bit) pairs, read once at compile time.
struct BarBits {
    std::uint8_t descenderCharacter, descenderBit, ascenderCharacter, ascenderBit;
};
constexpr std::array<BarBits, 65> barBits = [] {
    std::array<BarBits, 65> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        const BarSource& bar = barSources[i];
        table[i] = {static_cast<std::uint8_t>(characterOf(bar.descender)),
                    static_cast<std::uint8_t>(bitOf(bar.descender)),
                    static_cast<std::uint8_t>(characterOf(bar.ascender)),
                    static_cast<std::uint8_t>(bitOf(bar.ascender))};
    }
    return table;
}();

// The CRC-11 sequence after `bits` data bits, the first of them aligned with its top bit.
constexpr std::uint32_t shiftIn(std::uint32_t sequence, std::uint32_t data, int bits) {
    for (int bit = 0; bit < bits; ++bit, data <<= 1) {
        const bool top = ((sequence ^ data) & 0x400) != 0;
        sequence = ((sequence << 1) ^ (top ? 0xF35u : 0u)) & 0x7FF;
    }
    return sequence;
}
constexpr std::array<std::uint16_t, 256> crcByte = [] {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t byte = 0; byte < table.size(); ++byte)
        table[byte] = static_cast<std::uint16_t>(shiftIn(byte << 3, 0, 8));
    return table;
}();
// A byte-wise step is the bit-wise one.
static_assert([] {
    for (std::uint32_t sequence = 0; sequence < 0x800; sequence += 7)
        for (std::uint32_t byte = 0; byte < 256; byte += 5)
            if (shiftIn(sequence, byte << 3, 8) !=
                ((crcByte[((sequence >> 3) ^ byte) & 0xFF] ^ (sequence << 8)) & 0x7FF))
                return false;
    return true;
}());

// The 102-bit binary data as thirteen bytes, most significant first.
class Binary {
  public:
    explicit Binary(std::uint64_t value) {
        for (std::size_t i = bytes_.size(); i-- > 0; value >>= 8)
            bytes_[i] = static_cast<std::uint8_t>(value & 0xFF);
    }
    void multiplyAdd(std::uint32_t factor, std::uint32_t addend) {
        std::uint32_t carry = addend;
        for (std::size_t i = bytes_.size(); i-- > 0;) {
            carry += bytes_[i] * factor;
            bytes_[i] = static_cast<std::uint8_t>(carry & 0xFF);
            carry >>= 8;
        }
    }
    // A template, so that each division by the constant divisor is a multiplication.
    template <std::uint32_t divisor>
    std::uint32_t divide() {
        std::uint32_t remainder = 0;
        for (std::uint8_t& byte : bytes_) {
            remainder = (remainder << 8) | byte;
            byte = static_cast<std::uint8_t>(remainder / divisor);
            remainder %= divisor;
        }
        return remainder;
    }
    // The CRC-11 of USPS-B-3200 (generator 0xF35, start 0x7FF) over the 102 bits.
    std::uint16_t frameCheckSequence() const {
        // Its top two bits hold no data.
        std::uint32_t sequence = shiftIn(0x7FF, static_cast<std::uint32_t>(bytes_[0]) << 5, 6);
        // A whole byte at a time: the byte moves the sequence's top eight bits as the table says,
        // and its low three bits only up by eight places.
        for (std::size_t i = 1; i < bytes_.size(); ++i) {
            const std::uint32_t top = ((sequence >> 3) ^ bytes_[i]) & 0xFF;
            sequence = (crcByte[top] ^ (sequence << 8)) & 0x7FF;
        }
        return static_cast<std::uint16_t>(sequence);
    }

  private:
    std::array<std::uint8_t, 13> bytes_{};
};

// The routing code's value, which also tells its length apart: none 0, five digits from 1,
// nine from 100001, eleven from 1000100001.
std::uint64_t routingValue(std::string_view routing) {
    std::uint64_t value = 0;
    for (const char digit : routing) value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    if (routing.size() >= 5) value += 1;
    if (routing.size() >= 9) value += 100000;
    if (routing.size() >= 11) value += 1000000000;
    return value;
}

}  // namespace

std::array<char, 65> intelligentMailBars(std::string_view code) {
    std::array<char, 31> digits{};
    std::size_t count = 0;
    for (const char c : code) {
        if (c == '-' || c == ' ') continue;
        if (c < '0' || c > '9') {
            throw DataError("imb.digits", {"Intelligent Mail takes digits (and \"-\" or spaces "
                                           "between the codes) only, not \"",
                                           std::string_view(&c, 1), "\""});
        }
        if (count < digits.size()) digits[count] = c;
        ++count;
    }
    if (count != 20 && count != 25 && count != 29 && count != 31) {
        throw DataError("imb.length", {"Intelligent Mail takes a 20-digit tracking code and a "
                                       "routing code of 0, 5, 9 or 11 digits: 20, 25, 29 or 31 "
                                       "digits, not ",
                                       std::to_string(count)});
    }
    if (digits[1] > '4') {
        throw DataError("imb.barcode-id", {"the second digit of the tracking code (the barcode "
                                           "identifier) is 0 to 4, not ",
                                           std::string_view(&digits[1], 1)});
    }

    Binary binary(routingValue({digits.data() + 20, count - 20}));
    binary.multiplyAdd(10, static_cast<std::uint32_t>(digits[0] - '0'));
    binary.multiplyAdd(5, static_cast<std::uint32_t>(digits[1] - '0'));
    for (std::size_t i = 2; i < 20; ++i)
        binary.multiplyAdd(10, static_cast<std::uint32_t>(digits[i] - '0'));
    const std::uint16_t check = binary.frameCheckSequence();

    // Codewords A to I of 0-1364 and J of 0-635, J doubled to mark the orientation and A moved
    // up by 659 when the sequence's eleventh bit is set.
    std::array<std::uint32_t, 10> codewords{};
    codewords[9] = binary.divide<636>() * 2;
    for (std::size_t i = 9; i-- > 0;) codewords[i] = binary.divide<1365>();
    if (check & 0x400) codewords[0] += 659;

    // Each character flipped where the sequence's bit of its position is set.
    std::array<std::uint16_t, 10> characters{};
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const std::uint32_t codeword = codewords[i];
        std::uint16_t character = codeword < 1287 ? characterTables.fiveOf13[codeword]
                                                  : characterTables.twoOf13[codeword - 1287];
        if (check & (1u << i)) character = static_cast<std::uint16_t>(~character & 0x1FFF);
        characters[i] = character;
    }

    std::array<char, 65> bars{};
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const auto drawn = [&](std::size_t character, int bit) {
            return (characters[character] >> bit & 1) != 0;
        };
        const BarBits& bits = barBits[i];
        const bool down = drawn(bits.descenderCharacter, bits.descenderBit);
        const bool up = drawn(bits.ascenderCharacter, bits.ascenderBit);
        bars[i] = up && down ? 'F' : up ? 'A' : down ? 'D' : 'T';
    }
    return bars;
}

}  // namespace quillet::extended

namespace quillet {

std::int16_t drawIntelligentMail(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        const std::array<char, 65> bars = extended::intelligentMailBars(args.pCode);
        const Band space = frame.normalBand();
        using State = Frame::BarState;
        const Band full = frame.stateBand(State::full);
        const Band ascender = frame.stateBand(State::ascender);
        const Band descender = frame.stateBand(State::descender);
        const Band tracker = frame.stateBand(State::tracker);
        for (std::size_t i = 0; i < bars.size(); ++i) {
            const Band& band = bars[i] == 'F'   ? full
                               : bars[i] == 'A' ? ascender
                               : bars[i] == 'D' ? descender
                                                : tracker;
            if (i > 0) frame.paintBox(args.pWidth, space, false);
            frame.paintBox(args.pWidth, band, true);
        }
        if (args.pText != 0) frame.centreText(trimSpaces(std::string_view(args.pCode)));
    });
}

}  // namespace quillet
