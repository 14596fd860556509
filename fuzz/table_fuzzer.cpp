// Reads arbitrary tables as `quillet batch` does. Whatever the bytes: the only failure is a
// usage error, the rows counted beforehand are the rows read, rows are numbered 1, 2, 3, ... and
// a row that parses has a known symbology and its code from the second field. When the first
// byte is 0x01 (no table's text starts so), the rest describes rows of fields instead, written
// out as a CSV or TSV table with every field that needs it quoted: they must read back as the
// same fields.
//
// Row layout: byte 1 bit 0 picks tabs over commas; then fields, each a length byte (bit 7: the
// last field of its row once it has two, bit 6: quoted even when not needed, bits 0-5: length)
// and that many bytes. Missing bytes end the table.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/output_commands.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace quillet;

using quillet::fuzz::fail;

cli::Table read(const std::string& text, bool& refused) {
    std::istringstream in(text);
    refused = false;
    try {
        return cli::readTable(in, DrawingArguments{});
    } catch (const cli::UsageError&) {
        refused = true;
        return {};
    }
}

void checkAnyTable(const std::string& text) {
    bool refused;
    const cli::Table table = read(text, refused);
    if (refused) return;
    if (table.counted != table.rows.size())
        fail("the rows counted are the rows read", std::to_string(table.counted.value_or(-1)) +
                                                       " counted, " +
                                                       std::to_string(table.rows.size()) + " read");
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const cli::TableRow& row = table.rows[i];
        if (row.number != i + 1) fail("rows numbered in order", std::to_string(row.number));
        if (row.fields.empty()) fail("a row has a field", std::to_string(row.number));
        if (row.failure) continue;
        if (row.fields.size() < 2 || row.type.name().empty() ||
            row.arguments.pCode != row.fields[1])
            fail("a row that parses has a symbology and its code", std::to_string(row.number));
    }
}

struct Rows {
    char separator = ',';
    std::vector<std::vector<std::string>> fields;
    std::string text;
};

// A field in quotes where it must be: holding a comma or a tab (the first row tells which one
// separates), a quote or a carriage return, or at the start of a row empty, starting with "#" or
// with what could be a byte-order mark.
std::string written(const std::string& field, bool first, bool quoted) {
    const bool needed = field.find_first_of(",\t\"\r") != std::string::npos ||
                        (first && (field.empty() || field.front() == '#' ||
                                   static_cast<unsigned char>(field.front()) >= 0xEF));
    if (!quoted && !needed) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

Rows readRows(const std::uint8_t* data, std::size_t size) {
    Rows rows;
    std::size_t at = 1;
    rows.separator = at < size && (data[at++] & 1) != 0 ? '\t' : ',';
    std::vector<std::string> row;
    while (at < size) {
        const std::uint8_t head = data[at++];
        const std::size_t length = std::min<std::size_t>(head & 63u, size - at);
        std::string field(reinterpret_cast<const char*>(data + at), length);
        at += length;
        field.erase(std::remove(field.begin(), field.end(), '\n'), field.end());
        // Zero bytes in the first line are taken for UTF-16.
        if (rows.fields.empty())
            field.erase(std::remove(field.begin(), field.end(), '\0'), field.end());
        // A first field of "symbology" makes the first row a header.
        std::string lower = field;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower == "symbology" && row.empty()) field += '_';
        rows.text += (row.empty() ? "" : std::string(1, rows.separator)) +
                     written(field, row.empty(), (head & 64u) != 0);
        row.push_back(field);
        if (at >= size && row.size() == 1) {
            rows.text += rows.separator;
            row.emplace_back();
        }
        // A row has two fields at least, as every row batch draws.
        if (((head & 128u) != 0 && row.size() >= 2) || at >= size) {
            rows.text += (head & 64u) != 0 ? "\r\n" : "\n";
            rows.fields.push_back(std::move(row));
            row.clear();
        }
    }
    return rows;
}

void checkRoundTrip(const Rows& rows) {
    bool refused;
    const cli::Table table = read(rows.text, refused);
    if (refused) fail("a table without a header is read", rows.text);
    if (table.rows.size() != rows.fields.size())
        fail("every row written is read", std::to_string(table.rows.size()) + " of " +
                                              std::to_string(rows.fields.size()) + " in\n" +
                                              rows.text);
    for (std::size_t i = 0; i < rows.fields.size(); ++i)
        if (table.rows[i].fields != rows.fields[i])
            fail("fields read back as written",
                 "row " + std::to_string(i + 1) + " of\n" + rows.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && data[0] == 0x01) {
        const Rows rows = readRows(data, size);
        checkAnyTable(rows.text);
        checkRoundTrip(rows);
    } else {
        checkAnyTable(std::string(reinterpret_cast<const char*>(data), size));
    }
    return 0;
}
