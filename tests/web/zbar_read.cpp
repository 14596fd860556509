// Reads the symbols in a PNG file with libzbar, as the decoder round trips do, for the browser
// test: one line per symbol, "SYMBOLOGY:text" as zbarimg prints them.
//
// usage: quillet_zbar_read [SETTING ...] FILE.png   (settings as zbarimg's -S, without the -S)
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/decode/zbar_reader.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: quillet_zbar_read [SETTING ...] FILE.png\n";
        return 64;
    }
    const std::vector<std::string> settings(argv + 1, argv + argc - 1);
    std::ifstream file(argv[argc - 1], std::ios::binary);
    const std::string png{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    try {
        for (const auto& symbol :
             quillet::testing::decode(quillet::testing::readPng(png), settings))
            std::cout << symbol.symbology << ':' << symbol.text << '\n';
    } catch (const std::exception& failure) {
        std::cerr << "quillet_zbar_read: " << failure.what() << '\n';
        return 1;
    }
    return 0;
}
