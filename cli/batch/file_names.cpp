#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/file_names.h"

#include <algorithm>
#include <array>
#include <cctype>
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

std::string fileNameOf(std::size_t number, std::size_t numberWidth, std::string_view code,
                       OutputFormat format) {
    std::string name = std::to_string(number);
    if (name.size() < numberWidth) name.insert(0, numberWidth - name.size(), '0');
    name += '-';
    std::string safe;
    for (unsigned char c : code.substr(0, 48))
        safe.push_back(std::isalnum(c) || c == '-' || c == '.' ? static_cast<char>(c) : '_');
    name += safe.empty() ? "_" : safe;
    return name + "." + std::string(extensionOf(format));
}

}  // namespace quillet::cli
#endif
