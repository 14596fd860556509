// GS1-128: Code 128 that starts with FNC1 and holds GS1 element strings, each an Application
// Identifier (AI) and its data. The data is written as people type it, "(01)09501101530003(17)
// 260101(10)ABC123" (or with square brackets, which leaves round ones free for the data); every
// field is checked against the AI table below, and FNC1 ends every field whose length is not
// predefined, unless it is the last. The text is the data with its brackets, centred below.
#include <cstdint>

#include "symbologies/ean_upc/tables.h"
#include "symbologies/extended/extended.h"

namespace quillet::extended {
namespace {

enum class Content { numeric, alphanumeric };
enum class Meaning { plain, checkDigit, date, dateTime };

// AIs from `first` to `last` (a range such as 3100-3105 differs only in its decimal-point
// digit). The data is minLength to maxLength characters; the first numericLength of them are
// digits even in an alphanumeric field; a check digit ends the first checkedLength digits.
struct AiRule {
    std::string_view first;
    std::string_view last;
    Content content;
    std::uint8_t minLength;
    std::uint8_t maxLength;
    Meaning meaning;
    std::uint8_t checkedLength;  // digits the check digit closes, 0 for none
    std::uint8_t numericLength;  // leading digits of an alphanumeric field
    std::string_view title;
};

constexpr Content n = Content::numeric;
constexpr Content an = Content::alphanumeric;
constexpr Meaning plain = Meaning::plain;
constexpr Meaning checked = Meaning::checkDigit;
constexpr Meaning date = Meaning::date;

// The GS1 General Specifications, section 3.2 (Application Identifiers), the ones labels use
// most; format column as in the specifications ("n2+n14" is the AI and 14 digits).
constexpr std::array<AiRule, 58> aiRules = {{
    {"00", "00", n, 18, 18, checked, 18, 0, "SSCC"},
    {"01", "01", n, 14, 14, checked, 14, 0, "GTIN"},
    {"02", "02", n, 14, 14, checked, 14, 0, "CONTENT"},
    {"10", "10", an, 1, 20, plain, 0, 0, "BATCH/LOT"},
    {"11", "11", n, 6, 6, date, 0, 0, "PROD DATE"},
    {"12", "12", n, 6, 6, date, 0, 0, "DUE DATE"},
    {"13", "13", n, 6, 6, date, 0, 0, "PACK DATE"},
    {"15", "15", n, 6, 6, date, 0, 0, "BEST BEFORE or BEST BY"},
    {"16", "16", n, 6, 6, date, 0, 0, "SELL BY"},
    {"17", "17", n, 6, 6, date, 0, 0, "USE BY or EXPIRY"},
    {"20", "20", n, 2, 2, plain, 0, 0, "VARIANT"},
    {"21", "21", an, 1, 20, plain, 0, 0, "SERIAL"},
    {"22", "22", an, 1, 20, plain, 0, 0, "CPV"},
    {"235", "235", an, 1, 28, plain, 0, 0, "TPX"},
    {"240", "240", an, 1, 30, plain, 0, 0, "ADDITIONAL ID"},
    {"241", "241", an, 1, 30, plain, 0, 0, "CUST. PART No."},
    {"242", "242", n, 1, 6, plain, 0, 0, "MTO VARIANT"},
    {"243", "243", an, 1, 20, plain, 0, 0, "PCN"},
    {"250", "250", an, 1, 30, plain, 0, 0, "SECONDARY SERIAL"},
    {"251", "251", an, 1, 30, plain, 0, 0, "REF. TO SOURCE"},
    {"253", "253", an, 13, 30, checked, 13, 13, "GDTI"},
    {"254", "254", an, 1, 20, plain, 0, 0, "GLN EXTENSION COMPONENT"},
    {"255", "255", n, 13, 25, checked, 13, 0, "GCN"},
    {"30", "30", n, 1, 8, plain, 0, 0, "VAR. COUNT"},
    {"3100", "3105", n, 6, 6, plain, 0, 0, "NET WEIGHT (kg)"},
    {"3110", "3115", n, 6, 6, plain, 0, 0, "LENGTH (m)"},
    {"3120", "3125", n, 6, 6, plain, 0, 0, "WIDTH (m)"},
    {"3130", "3135", n, 6, 6, plain, 0, 0, "HEIGHT (m)"},
    {"3140", "3145", n, 6, 6, plain, 0, 0, "AREA (m2)"},
    {"3150", "3155", n, 6, 6, plain, 0, 0, "NET VOLUME (l)"},
    {"3160", "3165", n, 6, 6, plain, 0, 0, "NET VOLUME (m3)"},
    {"3200", "3205", n, 6, 6, plain, 0, 0, "NET WEIGHT (lb)"},
    {"3300", "3305", n, 6, 6, plain, 0, 0, "GROSS WEIGHT (kg)"},
    {"3370", "3375", n, 6, 6, plain, 0, 0, "KG PER m2"},
    {"3400", "3405", n, 6, 6, plain, 0, 0, "GROSS WEIGHT (lb)"},
    {"37", "37", n, 1, 8, plain, 0, 0, "COUNT"},
    {"3900", "3909", n, 1, 15, plain, 0, 0, "AMOUNT"},
    {"3910", "3919", n, 4, 18, plain, 0, 0, "AMOUNT (with ISO currency)"},
    {"3920", "3929", n, 1, 15, plain, 0, 0, "PRICE"},
    {"3930", "3939", n, 4, 18, plain, 0, 0, "PRICE (with ISO currency)"},
    {"400", "400", an, 1, 30, plain, 0, 0, "ORDER NUMBER"},
    {"401", "401", an, 1, 30, plain, 0, 0, "GINC"},
    {"402", "402", n, 17, 17, checked, 17, 0, "GSIN"},
    {"403", "403", an, 1, 30, plain, 0, 0, "ROUTE"},
    {"410", "417", n, 13, 13, checked, 13, 0, "GLN"},
    {"420", "420", an, 1, 20, plain, 0, 0, "SHIP TO POST"},
    {"421", "421", an, 4, 12, plain, 0, 3, "SHIP TO POST (with ISO country)"},
    {"422", "422", n, 3, 3, plain, 0, 0, "ORIGIN"},
    {"423", "423", n, 3, 15, plain, 0, 0, "COUNTRY - INITIAL PROCESS"},
    {"424", "426", n, 3, 3, plain, 0, 0, "COUNTRY - PROCESS"},
    {"7003", "7003", n, 10, 10, Meaning::dateTime, 0, 0, "EXPIRY TIME"},
    {"8003", "8003", an, 14, 30, checked, 14, 14, "GRAI"},
    {"8004", "8004", an, 1, 30, plain, 0, 0, "GIAI"},
    {"8005", "8005", n, 6, 6, plain, 0, 0, "PRICE PER UNIT"},
    {"8006", "8006", n, 18, 18, checked, 14, 0, "ITIP"},
    {"8017", "8018", n, 18, 18, checked, 18, 0, "GSRN"},
    {"8020", "8020", an, 1, 25, plain, 0, 0, "REF No."},
    {"90", "99", an, 1, 90, plain, 0, 0, "INTERNAL"},
}};

static_assert([] {
    for (const AiRule& rule : aiRules) {
        if (rule.first.size() != rule.last.size() || rule.first > rule.last) return false;
        if (rule.first.size() < 2 || rule.first.size() > 4) return false;
        if (rule.minLength < 1 || rule.minLength > rule.maxLength) return false;
        if ((rule.meaning == checked) != (rule.checkedLength > 0)) return false;
        if (rule.checkedLength > rule.maxLength || rule.numericLength > rule.minLength)
            return false;
    }
    return true;
}());

// AIs whose first two digits are in this list have a predefined length: a reader knows where
// their field ends, so no FNC1 follows them (GS1 General Specifications, figure 5.10.1-2).
constexpr std::array<std::string_view, 22> predefinedLength = {
    "00", "01", "02", "03", "04", "11", "12", "13", "14", "15", "16",
    "17", "18", "19", "20", "31", "32", "33", "34", "35", "36", "41"};

const AiRule* ruleFor(std::string_view ai) {
    for (const AiRule& rule : aiRules)
        if (ai.size() == rule.first.size() && ai >= rule.first && ai <= rule.last) return &rule;
    return nullptr;
}

bool endsByLength(std::string_view ai) {
    for (const std::string_view prefix : predefinedLength)
        if (ai.substr(0, 2) == prefix) return true;
    return false;
}

constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// GS1 AI encodable character set 82 (GS1 General Specifications, figure 7.11-1).
constexpr bool inCharacterSet82(char c) {
    if (isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    return std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos;
}

std::string named(std::string_view ai) {
    return joinText({"(", ai, ")"});
}

int twoDigits(std::string_view data, std::size_t at) {
    return (data[at] - '0') * 10 + (data[at + 1] - '0');
}

// YYMMDD; a day of 00 means the month as a whole. Years are 2000-2099 for February's 29th, which
// gives the same leap years as the GS1 century window.
void checkDate(std::string_view ai, std::string_view data) {
    const int year = twoDigits(data, 0);
    const int month = twoDigits(data, 2);
    const int day = twoDigits(data, 4);
    if (month < 1 || month > 12) {
        throw DataError("gs1.date", {named(ai), " ", data, ": month ", data.substr(2, 2),
                                     " is not 01 to 12 (the date is YYMMDD)"});
    }
    constexpr std::array<int, 12> monthDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int days = monthDays[static_cast<std::size_t>(month - 1)] + (month == 2 && year % 4 == 0);
    if (day > days) {
        throw DataError("gs1.date",
                        {named(ai), " ", data, ": day ", data.substr(4, 2), " is not in month ",
                         data.substr(2, 2), " (the date is YYMMDD)"});
    }
}

void checkField(std::string_view ai, const AiRule& rule, std::string_view data) {
    // Named in the messages by its AI and title; made only for a message.
    const auto fieldName = [&] { return joinText({"(", ai, ") ", rule.title}); };
    if (data.size() < rule.minLength || data.size() > rule.maxLength) {
        const std::string shortest = std::to_string(rule.minLength);
        const std::string longest = std::to_string(rule.maxLength);
        const std::string length =
            rule.minLength == rule.maxLength ? shortest : joinText({shortest, " to ", longest});
        throw DataError("gs1.length", {fieldName(), " takes ", length,
                                       (rule.content == n ? " digits" : " characters"), ", not ",
                                       std::to_string(data.size())});
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        const bool digitsOnly = rule.content == n || i < rule.numericLength;
        if (digitsOnly && !isDigit(data[i])) {
            throw DataError("gs1.digits",
                            {fieldName(), ": \"", data.substr(i, 1), "\" at position ",
                             std::to_string(i + 1), " should be a digit"});
        }
        if (!inCharacterSet82(data[i])) {
            throw DataError("gs1.character", {fieldName(), ": \"", data.substr(i, 1),
                                              "\" is not in the GS1 character set (letters, "
                                              "digits and !\"%&'()*+,-./:;<=>?_)"});
        }
    }
    if (rule.meaning == checked) {
        const std::string_view digits = data.substr(0, rule.checkedLength - 1u);
        Characters wide;
        for (const char c : digits) wide.push_back(static_cast<char32_t>(c));
        const auto expected = static_cast<char>(ean_upc::checkDigit(wide));
        if (data[rule.checkedLength - 1u] != expected) {
            throw DataError("gs1.check-digit",
                            {fieldName(), " ", data, ": the check digit should be ",
                             std::string_view(&expected, 1), ", not ",
                             data.substr(rule.checkedLength - 1u, 1)});
        }
    }
    if (rule.meaning == date) checkDate(ai, data);
    if (rule.meaning == Meaning::dateTime) {
        checkDate(ai, data.substr(0, 6));
        if (twoDigits(data, 6) > 23 || twoDigits(data, 8) > 59) {
            throw DataError("gs1.time",
                            {fieldName(), " ", data, ": the time HHMM should be 0000 to 2359"});
        }
    }
}

}  // namespace

Gs1Data parseGs1(std::string_view bracketed) {
    const std::string_view input = trimSpaces(bracketed);
    if (input.empty() || (input.front() != '(' && input.front() != '[')) {
        throw DataError("gs1.form",
                        {"GS1 data is written as Application Identifiers in brackets, each "
                         "followed by its data, e.g. (01)09501101530003(10)ABC123"});
    }
    const char open = input.front();
    const char close = open == '(' ? ')' : ']';
    Gs1Data out;
    out.codes.push_back(fnc1Code);
    const auto addText = [&](std::string_view text) { out.text.append(text.data(), text.size()); };
    std::size_t at = 0;
    while (at < input.size()) {
        const std::size_t closing = input.find(close, at);
        if (input[at] != open || closing == std::string_view::npos) {
            throw DataError("gs1.form", {"an Application Identifier is written in brackets: \"",
                                         input.substr(at, 8), "\""});
        }
        const std::string_view ai = input.substr(at + 1, closing - at - 1);
        const bool digits = std::all_of(ai.begin(), ai.end(), isDigit);
        const AiRule* rule = digits ? ruleFor(ai) : nullptr;
        if (rule == nullptr) {
            throw DataError("gs1.unknown-ai",
                            {named(ai), " is not an Application Identifier this symbol knows"});
        }
        const std::size_t next = std::min(input.find(open, closing + 1), input.size());
        const std::string_view data = input.substr(closing + 1, next - closing - 1);
        if (data.empty()) throw DataError("gs1.empty", {named(ai), " has no data after it"});
        checkField(ai, *rule, data);
        for (const char c : ai) out.codes.push_back(c);
        for (const char c : data) out.codes.push_back(c);
        if (next < input.size() && !endsByLength(ai)) out.codes.push_back(fnc1Code);
        addText("(");
        addText(ai);
        addText(")");
        addText(data);
        at = next;
    }
    return out;
}

}  // namespace quillet::extended

namespace quillet {

std::int16_t drawGs1_128(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        const extended::Gs1Data data = extended::parseGs1(args.pCode);
        extended::Values values;
        extended::planCode128(data.codes, values);
        extended::paintCode128(frame, values);
        if (args.pText != 0) frame.centreText(data.textView());
    });
}

}  // namespace quillet
