// Code 128 with automatic code sets: any data of codes 0-255 (ISO 8859-1) in the fewest symbol
// characters that sets A, B and C, their CODE and SHIFT characters and FNC4 allow, always with the
// modulo-103 check character. The text is the data, centred under the symbol as set C's is.
#include <algorithm>
#include <limits>
#include <stdexcept>

#include "render/check_sum.h"
#include "render/text.h"
#include "symbologies/alnum/code128_table.h"
#include "symbologies/extended/extended.h"

namespace quillet::extended {
namespace {

enum class Set { a, b, c };

// Values of the function characters (ISO/IEC 15417 table 1). FNC4 and the CODE characters share
// values 100 and 101 in sets A and B: each means what the set it is read in says.
constexpr std::int16_t codeCValue = 99;
constexpr std::int16_t shiftValue = 98;
constexpr std::int16_t fnc4InA = 101;
constexpr std::int16_t fnc4InB = 100;
constexpr std::int16_t codeAValue = 101;  // from set B or C
constexpr std::int16_t codeBValue = 100;  // from set A or C

constexpr std::int16_t changeTo(Set set) {
    return set == Set::a ? codeAValue : set == Set::b ? codeBValue : codeCValue;
}
constexpr std::int16_t startValue(Set set) {
    return static_cast<std::int16_t>(code128::startAValue + static_cast<int>(set));
}
constexpr std::int16_t fnc4(Set set) {
    return set == Set::a ? fnc4InA : fnc4InB;
}

// Set A holds space to underscore and the control characters, set B space to DEL; a code of
// 128-255 is its low seven bits after FNC4.
constexpr bool holds(Set set, int low) {
    return set == Set::a ? low < 96 : low >= 32;
}
constexpr std::int16_t valueIn(Set set, int low) {
    return static_cast<std::int16_t>(set == Set::a && low < 32 ? low + 64 : low - 32);
}
constexpr bool isDigit(std::int16_t code) {
    return code >= '0' && code <= '9';
}

// A state is the code set and whether FNC4 is latched (two FNC4 in a row latch codes 128-255
// until the next two; a single FNC4 then marks a code below 128): A, A latched, B, B latched, C,
// C latched. Set C has no FNC4, but a latch set in A or B holds through it.
constexpr std::size_t stateCount = 6;
constexpr std::size_t stateOf(Set set, bool latched) {
    return static_cast<std::size_t>(set) * 2 + latched;
}
constexpr Set setOf(std::size_t state) {
    return static_cast<Set>(state / 2);
}
constexpr bool latchedIn(std::size_t state) {
    return state % 2 == 1;
}

// The cost of a plan: its symbol characters first; among plans of equal length, the one annex E
// of ISO/IEC 15417 would choose: set C for every run of four or more digits (rule 3), otherwise
// as few changes of set as can be. Both in one integer, the characters above the preference
// (lower is preferred), so that one comparison orders plans: a plan's preference stays far
// inside the 32 bits below its characters.
using Cost = std::int64_t;
constexpr Cost oneCharacter = Cost{1} << 32;
constexpr Cost costOf(int characters, int preference) {
    return characters * oneCharacter + preference;
}
constexpr Cost charactersIn(Cost cost) {
    return (cost + oneCharacter / 2) >> 32;
}
constexpr int changePreference = 2;
constexpr int longRunPairPreference = -3;  // two pairs outweigh the changes into set C and out
constexpr int fnc1InRunPreference = -1;
constexpr Cost unreachable = costOf(std::numeric_limits<int>::max() / 4, 0);
constexpr Cost changeOfSet = costOf(1, changePreference);
constexpr Cost changeOfLatch = costOf(2, changePreference);  // FNC4 twice

// Whether each code belongs to a run of four or more digits (FNC1 may stand inside a run: set C
// has it too).
using LongRuns = SmallBuffer<std::uint8_t, 256>;
void findLongRuns(const Codes& data, LongRuns& longRuns) {
    longRuns.resize(data.size(), 0);
    for (std::size_t start = 0; start < data.size();) {
        std::size_t end = start;
        int digits = 0;
        while (end < data.size() && (isDigit(data[end]) || data[end] == fnc1Code))
            digits += isDigit(data[end++]);
        for (std::size_t i = start; i < end; ++i) longRuns[i] = digits >= 4 ? 1 : 0;
        start = end == start ? start + 1 : end;
    }
}

using Costs = std::array<Cost, stateCount>;

// The cheapest way to encode the data from position i on in each state, from the costs of the
// positions after it. A step that takes data leads to a position already settled; changes stay
// at their position and are settled among the states. Without latching (data with no code of
// 128-255) only the unlatched states are settled: a latch there costs two FNC4 and then one
// before every code, so a latched state is never the cheaper one and its cost is never read.
template <bool latching>
void settle(const Codes& data, const LongRuns& longRuns, std::size_t i, const Costs* after,
            Costs& here) {
    constexpr std::array<bool, 2> bothLatches = {false, true};
    constexpr std::size_t latchCount = latching ? 2 : 1;
    const std::int16_t code = data[i];
    const Costs& next = after[0];
    if (code == fnc1Code) {
        // FNC1 is one character in every set; an FNC1 that opens a run of digits goes with them.
        const int inC = longRuns[i] ? fnc1InRunPreference : 0;
        for (std::size_t l = 0; l < latchCount; ++l) {
            const bool latched = bothLatches[l];
            for (const Set set : {Set::a, Set::b})
                here[stateOf(set, latched)] = costOf(1, 0) + next[stateOf(set, latched)];
            here[stateOf(Set::c, latched)] = costOf(1, inC) + next[stateOf(Set::c, latched)];
        }
    } else {
        // In A or B a code takes its character, FNC4 before it when its high bit differs from
        // the latch, and SHIFT before it when only the other set holds it.
        const int low = code & 0x7F;
        const bool high = code >= 128;
        const bool pair = isDigit(code) && i + 1 < data.size() && isDigit(data[i + 1]);
        const Cost pairCost = costOf(1, longRuns[i] ? longRunPairPreference : 0);
        for (std::size_t l = 0; l < latchCount; ++l) {
            const bool latched = bothLatches[l];
            const int marked = high != latched;
            for (const Set set : {Set::a, Set::b})
                here[stateOf(set, latched)] =
                    costOf(1 + marked + !holds(set, low), 0) + next[stateOf(set, latched)];
            here[stateOf(Set::c, latched)] =
                pair ? pairCost + after[1][stateOf(Set::c, latched)] : unreachable;
        }
    }
    // Two changes of set in a row cost more than the one change to the last set, and two
    // changes of the latch lead back where they began. So from A or B the cheapest way through
    // changes takes at most one change of set and one of the latch; from C, which has no latch,
    // it is a change to A or B and whatever is cheapest from there.
    for (std::size_t l = 0; l < latchCount; ++l) {
        const bool latched = bothLatches[l];
        Cost& a = here[stateOf(Set::a, latched)];
        Cost& b = here[stateOf(Set::b, latched)];
        const Cost cheapest = std::min({a, b, here[stateOf(Set::c, latched)]});
        a = std::min(a, changeOfSet + cheapest);
        b = std::min(b, changeOfSet + cheapest);
    }
    if constexpr (latching) {
        for (const Set set : {Set::a, Set::b}) {
            Cost& unlatched = here[stateOf(set, false)];
            Cost& latched = here[stateOf(set, true)];
            const Cost before = unlatched;
            unlatched = std::min(unlatched, changeOfLatch + latched);
            latched = std::min(latched, changeOfLatch + before);
        }
    }
    for (std::size_t l = 0; l < latchCount; ++l) {
        const bool latched = bothLatches[l];
        Cost& c = here[stateOf(Set::c, latched)];
        c = std::min(c, changeOfSet + std::min(here[stateOf(Set::a, latched)],
                                               here[stateOf(Set::b, latched)]));
    }
}

// One step of a plan: the values it adds, where it leaves the data and in which state.
struct Step {
    std::array<std::int16_t, 3> values{};
    std::size_t count = 0;
    std::size_t next = 0;
    std::size_t state = 0;
    void add(std::int16_t value) { values[count++] = value; }
};

// The step a cheapest plan takes at position i in a state: of the steps that keep to the
// cheapest cost, the first in the order of preference among equals: taking the code in the
// present set, by SHIFT, then a change of set or of the latch.
Step stepAt(const Codes& data, const LongRuns& longRuns, const Costs* cost, std::size_t i,
            std::size_t state) {
    const Cost goal = cost[i][state];
    const std::int16_t code = data[i];
    const Set set = setOf(state);
    Step step;
    step.state = state;
    step.next = i + 1;
    if (code == fnc1Code) {
        const int preference = set == Set::c && longRuns[i] ? fnc1InRunPreference : 0;
        if (costOf(1, preference) + cost[i + 1][state] == goal) {
            step.add(code128::fnc1Value);
            return step;
        }
    } else if (set == Set::c) {
        if (isDigit(code) && i + 1 < data.size() && isDigit(data[i + 1]) &&
            costOf(1, longRuns[i] ? longRunPairPreference : 0) + cost[i + 2][state] == goal) {
            step.add(static_cast<std::int16_t>((code - '0') * 10 + (data[i + 1] - '0')));
            step.next = i + 2;
            return step;
        }
    } else {
        const int low = code & 0x7F;
        const bool marked = (code >= 128) != latchedIn(state);
        const Set other = set == Set::a ? Set::b : Set::a;
        for (const bool shifted : {false, true}) {
            const Set in = shifted ? other : set;
            if (!holds(in, low) || costOf(1 + marked + shifted, 0) + cost[i + 1][state] != goal)
                continue;
            if (marked) step.add(fnc4(set));
            if (shifted) step.add(shiftValue);
            step.add(valueIn(in, low));
            return step;
        }
    }
    // Then the changes, in the order of preference among equals: to set C, B, A, then of the
    // latch.
    step.next = i;
    const bool latched = latchedIn(state);
    for (const Set to : {Set::c, Set::b, Set::a}) {
        if (to == set || changeOfSet + cost[i][stateOf(to, latched)] != goal) continue;
        step.state = stateOf(to, latched);
        step.add(changeTo(to));
        return step;
    }
    if (set != Set::c && changeOfLatch + cost[i][stateOf(set, !latched)] == goal) {
        step.state = stateOf(set, !latched);
        step.add(fnc4(set));
        step.add(fnc4(set));
        return step;
    }
    throw std::logic_error("a cheapest plan always has a next step");
}

}  // namespace

void planCode128(const Codes& data, Values& values) {
    LongRuns longRuns;
    findLongRuns(data, longRuns);
    // cost[i][s]: the cheapest way to encode data from position i on, in state s.
    SmallBuffer<Costs, 257> cost;
    cost.resize(data.size() + 1, Costs{});
    const bool latching = std::any_of(data.begin(), data.end(), [](std::int16_t code) {
        return code >= 128 && code != fnc1Code;
    });
    for (std::size_t i = data.size(); i-- > 0;) {
        if (latching)
            settle<true>(data, longRuns, i, &cost[i + 1], cost[i]);
        else
            settle<false>(data, longRuns, i, &cost[i + 1], cost[i]);
    }

    // Annex E rule 1: among starts of equal cost, C before B before A; between A and B for the
    // same number of characters, A when a control character comes before any lower case letter.
    const auto costFrom = [&](Set set) { return cost[0][stateOf(set, false)]; };
    Set start = Set::c;
    for (const Set set : {Set::b, Set::a})
        if (costFrom(set) < costFrom(start)) start = set;
    if (start != Set::c && charactersIn(costFrom(Set::a)) == charactersIn(costFrom(Set::b))) {
        const auto first = std::find_if(data.begin(), data.end(), [](std::int16_t code) {
            const int low = code & 0x7F;
            return code != fnc1Code && (low < 32 || low >= 96);
        });
        start = first != data.end() && (*first & 0x7F) < 32 ? Set::a : Set::b;
    }
    values.clear();
    values.push_back(startValue(start));
    std::size_t state = stateOf(start, false);
    for (std::size_t i = 0; i < data.size();) {
        const Step step = stepAt(data, longRuns, cost.data(), i, state);
        values.append(step.values.data(), step.count);
        i = step.next;
        state = step.state;
    }

    CheckSum<103> sum(values[0]);
    for (std::size_t position = 1; position < values.size(); ++position)
        sum.add(values[position], static_cast<std::int32_t>(position));
    values.push_back(static_cast<std::int16_t>(sum.residue()));
    values.push_back(code128::stopValue);
}

void paintCode128(Frame& frame, const Values& values) {
    const Band band = frame.normalBand();
    PatternRun run(frame, band);
    for (const std::int16_t value : values) run.add(code128::symbolBlock(value, run));
    run.paint();
}

}  // namespace quillet::extended

namespace quillet {
namespace {

// The data's codes: each character's ISO 8859-1 code, as Code 128 reads codes 128-255.
void codesOf(std::u32string_view data, extended::Codes& codes) {
    if (data.empty()) throw DataError("code128.empty", {"Code 128 needs at least one character"});
    for (const char32_t character : data) {
        if (character > 0xFF) {
            throw DataError("code128.character",
                            {"\"", encodeUtf8(std::u32string_view(&character, 1)),
                             "\" is not in ISO 8859-1: Code 128 encodes the codes 0 to 255"});
        }
        codes.push_back(static_cast<std::int16_t>(character));
    }
}

}  // namespace

namespace extended {
void code128Codes(std::string_view code, Codes& codes) {
    Characters data;
    decodeUtf8(code, data);
    codesOf(data, codes);
}

void planCode128Text(std::string_view code, Values& values) {
    Codes codes;
    code128Codes(code, codes);
    planCode128(codes, values);
}
}  // namespace extended

std::int16_t drawCode128Auto(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        extended::Values values;
        extended::planCode128Text(args.pCode, values);
        extended::paintCode128(frame, values);
        if (args.pText == 0) return;
        // Control characters have no glyph: they show as spaces.
        const bool printable = std::none_of(args.pCode.begin(), args.pCode.end(), [](char c) {
            return static_cast<unsigned char>(c) < 32 || c == 127;
        });
        if (printable) {
            frame.centreText(args.pCode);
        } else {
            std::string shown = args.pCode;
            for (char& c : shown)
                if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
            frame.centreText(shown);
        }
    });
}

}  // namespace quillet
