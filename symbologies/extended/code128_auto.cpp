// Code 128 with automatic code sets: any data of codes 0-255 (ISO 8859-1) in the fewest symbol
// characters that sets A, B and C, their CODE and SHIFT characters and FNC4 allow, always with the
// modulo-103 check character. The text is the data, centred under the symbol as set C's is.
#include <algorithm>
#include <limits>

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
// until the next two; a single FNC4 then marks a code below 128).
struct State {
    Set set;
    bool latched;
};
constexpr int stateCount = 6;
constexpr int indexOf(State state) {
    return static_cast<int>(state.set) * 2 + state.latched;
}
constexpr State stateAt(int index) {
    return {static_cast<Set>(index / 2), index % 2 == 1};
}

// The cost of a plan: its symbol characters first; among plans of equal length, the one annex E
// of ISO/IEC 15417 would choose: set C for every run of four or more digits (rule 3), otherwise
// as few changes of set as can be.
struct Cost {
    int characters = 0;
    int preference = 0;  // lower is preferred
    constexpr Cost operator+(Cost other) const {
        return {characters + other.characters, preference + other.preference};
    }
    friend constexpr auto operator<=>(Cost, Cost) = default;
};
constexpr int changePreference = 2;
constexpr int longRunPairPreference = -3;  // two pairs outweigh the changes into set C and out
constexpr int fnc1InRunPreference = -1;
constexpr Cost unreachable{std::numeric_limits<int>::max() / 4, 0};

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

// One step of a plan: the values it adds, where it leaves the data and in which state.
struct Step {
    std::array<std::int16_t, 3> values{};
    int count = 0;
    std::size_t next = 0;
    int state = 0;
    Cost cost;
    constexpr void add(std::int16_t value) {
        values[static_cast<std::size_t>(count++)] = value;
        ++cost.characters;
    }
};

// The steps at position i in a state that take data, in the order of preference among equals:
// in the present set, then by SHIFT.
template <class Visit>
void forEachTake(const Codes& data, const LongRuns& longRuns, std::size_t i, int stateIndex,
                 Visit&& visit) {
    const State state = stateAt(stateIndex);
    const std::int16_t code = data[i];
    Step step;
    step.state = stateIndex;
    if (state.set == Set::c) {
        Step take = step;
        if (code == fnc1Code) {
            // An FNC1 that opens a run of digits goes with them: change to set C before it.
            take.add(code128::fnc1Value);
            if (longRuns[i]) take.cost.preference += fnc1InRunPreference;
            take.next = i + 1;
            visit(take);
        } else if (isDigit(code) && i + 1 < data.size() && isDigit(data[i + 1])) {
            take.add(static_cast<std::int16_t>((code - '0') * 10 + (data[i + 1] - '0')));
            if (longRuns[i]) take.cost.preference += longRunPairPreference;
            take.next = i + 2;
            visit(take);
        }
    } else if (code == fnc1Code) {
        Step take = step;
        take.add(code128::fnc1Value);
        take.next = i + 1;
        visit(take);
    } else {
        const int low = code & 0x7F;
        const bool marked = (code >= 128) != state.latched;
        const Set other = state.set == Set::a ? Set::b : Set::a;
        for (const bool shifted : {false, true}) {
            const Set in = shifted ? other : state.set;
            if (!holds(in, low)) continue;
            Step take = step;
            if (marked) take.add(fnc4(state.set));
            if (shifted) take.add(shiftValue);
            take.add(valueIn(in, low));
            take.next = i + 1;
            visit(take);
        }
    }
}

// The steps that stay at position i: a change of set, then of the FNC4 latch.
template <class Visit>
constexpr void forEachChange(std::size_t i, int stateIndex, Visit&& visit) {
    const State state = stateAt(stateIndex);
    Step step;
    step.state = stateIndex;
    step.next = i;
    for (const Set set : {Set::c, Set::b, Set::a}) {
        if (set == state.set) continue;
        Step change = step;
        change.add(changeTo(set));
        change.cost.preference += changePreference;
        change.state = indexOf({set, state.latched});
        visit(change);
    }
    if (state.set != Set::c) {
        Step latch = step;
        latch.add(fnc4(state.set));
        latch.add(fnc4(state.set));
        latch.cost.preference += changePreference;
        latch.state = indexOf({state.set, !state.latched});
        visit(latch);
    }
}

// Every step possible at position i in a state, in the order of preference among equals.
template <class Visit>
void forEachStep(const Codes& data, const LongRuns& longRuns, std::size_t i, int stateIndex,
                 Visit&& visit) {
    forEachTake(data, longRuns, i, stateIndex, visit);
    forEachChange(i, stateIndex, visit);
}

using Costs = std::array<Cost, stateCount>;

// Every change between states, in the order forEachChange visits them.
struct Change {
    std::size_t from;
    std::size_t to;
    Cost cost;
};
constexpr auto changes = [] {
    std::array<Change, 16> all{};
    std::size_t count = 0;
    for (int s = 0; s < stateCount; ++s)
        forEachChange(0, s, [&](const Step& step) {
            all[count++] = {static_cast<std::size_t>(s), static_cast<std::size_t>(step.state),
                            step.cost};
        });
    if (count != all.size()) throw "every change has its place";
    return all;
}();

}  // namespace

void planCode128(const Codes& data, Values& values) {
    // cost[i][s]: the cheapest way to encode data from position i on, in state s. A step that
    // takes data leads to a position already settled, so it is looked at once; changes stay at
    // their position and are relaxed among the states.
    LongRuns longRuns;
    findLongRuns(data, longRuns);
    SmallBuffer<Costs, 257> cost;
    cost.resize(data.size() + 1, Costs{});
    for (std::size_t i = data.size(); i-- > 0;) {
        Costs& here = cost[i];
        here.fill(unreachable);
        for (int s = 0; s < stateCount; ++s) {
            Cost& best = here[static_cast<std::size_t>(s)];
            forEachTake(data, longRuns, i, s, [&](const Step& step) {
                best = std::min(best,
                                step.cost + cost[step.next][static_cast<std::size_t>(step.state)]);
            });
        }
        // Two changes of set in a row cost more than the one change to the last set, and two
        // changes of the latch lead back where they began. Set C has no latch: changing it
        // through another set costs more than changing it where the plan leaves set C. So the
        // cheapest way through changes takes at most one of each, and two rounds settle it.
        for (int round = 0; round < 2; ++round)
            for (const Change& change : changes)
                here[change.from] = std::min(here[change.from], change.cost + here[change.to]);
    }

    // Annex E rule 1: among starts of equal cost, C before B before A; between A and B for the
    // same number of characters, A when a control character comes before any lower case letter.
    const auto costFrom = [&](Set set) {
        return cost[0][static_cast<std::size_t>(indexOf({set, false}))];
    };
    Set start = Set::c;
    for (const Set set : {Set::b, Set::a})
        if (costFrom(set) < costFrom(start)) start = set;
    if (start != Set::c && costFrom(Set::a).characters == costFrom(Set::b).characters) {
        const auto first = std::find_if(data.begin(), data.end(), [](std::int16_t code) {
            const int low = code & 0x7F;
            return code != fnc1Code && (low < 32 || low >= 96);
        });
        start = first != data.end() && (*first & 0x7F) < 32 ? Set::a : Set::b;
    }
    values.clear();
    values.push_back(startValue(start));
    int state = indexOf({start, false});
    for (std::size_t i = 0; i < data.size();) {
        bool taken = false;
        forEachStep(data, longRuns, i, state, [&](const Step& step) {
            if (taken || step.cost + cost[step.next][static_cast<std::size_t>(step.state)] !=
                             cost[i][static_cast<std::size_t>(state)])
                return;
            taken = true;
            values.append(step.values.data(), static_cast<std::size_t>(step.count));
            i = step.next;
            state = step.state;
        });
    }

    CheckSum<103> sum(values[0]);
    for (std::size_t position = 1; position < values.size(); ++position)
        sum.add(values[position], static_cast<std::int32_t>(position));
    values.push_back(static_cast<std::int16_t>(sum.residue()));
    values.push_back(code128::stopValue);
}

void paintCode128(Frame& frame, const Values& values) {
    const Band band = frame.normalBand();
    for (const std::int16_t value : values)
        frame.paintModules(code128::symbolCharacter(value), band);
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
