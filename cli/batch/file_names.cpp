#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/file_names.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>

#include "cli/command_line.h"

namespace quillet::cli {

bool isNamedLikeAFile(std::string_view path) {
    constexpr std::array<std::string_view, 21> fileExtensions = {
        "png", "svg", "jpg", "jpeg", "gif", "bmp",  "tif", "tiff", "webp", "eps", "emf",
        "txt", "csv", "tsv", "html", "xls", "xlsx", "ods", "doc",  "docx", "odt"};
    const std::string name = lowered(std::filesystem::path(path).filename().string());
    const auto dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 &&
           std::find(fileExtensions.begin(), fileExtensions.end(),
                     std::string_view(name).substr(dot + 1)) != fileExtensions.end();
}

void fileNameOf(std::size_t number, std::size_t numberWidth, std::string_view code,
                OutputFormat format, std::string& name) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.begin(), digits.end(), number).ptr;
    const auto digitCount = static_cast<std::size_t>(end - digits.begin());
    code = code.substr(0, 48);
    const std::string_view extension = extensionOf(format);
    name.clear();
    if (digitCount < numberWidth) name.append(numberWidth - digitCount, '0');
    name.append(digits.begin(), end);
    name += '-';
    // ASCII letters and digits, as the C locale the command runs in has them.
    const auto kept = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '.';
    };
    const std::size_t codeStart = name.size();
    name.append(code);
    for (std::size_t i = codeStart; i < name.size(); ++i)
        if (!kept(name[i])) name[i] = '_';
    if (code.empty()) name += '_';
    name += '.';
    name += extension;
}

}  // namespace quillet::cli
#endif
