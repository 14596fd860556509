// Reads back the PNG files that canvas.vbs saved through Quillet.Canvas under Wine: every symbol
// that zbar has a reader for must decode to the text of its row, at each resolution.
//   decode_pictures SYMBOLS_TABLE FOLDER
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/decode/zbar_reader.h"

namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillet::testing;
    if (argc != 3) {
        std::cerr << "usage: decode_pictures SYMBOLS_TABLE FOLDER\n";
        return 64;
    }
    // zbar's settings for the symbologies it leaves off or restricts by default, given only
    // where they are needed, as they change how zbar names the others.
    const std::map<std::string, std::vector<std::string>> settingsFor = {
        {"Codabar", {"codabar.enable=1", "codabar.min-length=1"}},
        {"I2/5", {"i25.min-length=2"}},
        {"CODE-93", {"code93.enable=1"}},
        {"UPC-A", {"upca.enable=1"}},
        {"UPC-E", {"upce.enable=1"}}};
    std::ifstream table(argv[1]);
    int failures = 0, read = 0;
    for (std::string line; std::getline(table, line);) {
        const auto fields = split(line);
        if (fields.size() < 8 || fields[0][0] == '#') continue;
        for (const char* dpi : {"96", "300"}) {
            const std::string name = fields[0] + "_" + dpi + ".png";
            std::ifstream file(std::string(argv[2]) + "/" + name, std::ios::binary);
            const std::string png((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
            try {
                const GreyImage image = readPng(png);
                if (fields[6] == "-") continue;  // no reader in zbar: the file must only load
                const auto settings = settingsFor.find(fields[6]);
                const std::vector<Decoded> found =
                    decode(image, settings != settingsFor.end() ? settings->second
                                                                : std::vector<std::string>{});
                const std::vector<Decoded> expected = {{fields[6], fields[7]}};
                if (found != expected) {
                    ++failures;
                    std::cout << "FAILED: " << name << " reads as";
                    for (const Decoded& symbol : found) std::cout << " " << symbol;
                    std::cout << (found.empty() ? " nothing" : "") << ", not " << expected[0]
                              << "\n";
                } else {
                    ++read;
                }
            } catch (const std::exception& failure) {
                ++failures;
                std::cout << "FAILED: " << name << ": " << failure.what() << "\n";
            }
        }
    }
    std::cout << read << " symbols read back with the right text, " << failures << " failures\n";
    return failures == 0 && read > 0 ? 0 : 1;
}
