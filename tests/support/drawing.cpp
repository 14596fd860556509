#include "tests/support/drawing.h"

namespace quillet::testing {

Drawing draw(Symbology type, DrawingArguments arguments) {
    Drawing drawing;
    Quillet control;
    drawing.result = control.Draw(type, &drawing.surface, arguments);
    drawing.code = arguments.pCode;
    return drawing;
}

Drawing draw(Symbology type, std::string code, DrawingArguments arguments) {
    arguments.pCode = std::move(code);
    return draw(type, std::move(arguments));
}

bool isBar(const RecordedBox& box) { return box.color != white; }
int widthOf(const RecordedBox& box) { return box.x2 - box.x1 + 1; }

std::string modulesOf(const std::vector<RecordedBox>& boxes, int moduleWidth) {
    std::string modules;
    for (const auto& box : boxes)
        modules.append(static_cast<std::size_t>(widthOf(box) / moduleWidth), isBar(box) ? '1' : '0');
    return modules;
}

std::string elementsOf(const std::vector<RecordedBox>& boxes, int wideWidth) {
    std::string elements;
    for (const auto& box : boxes) elements.push_back(widthOf(box) == wideWidth ? '1' : '0');
    return elements;
}

bool contiguous(const std::vector<RecordedBox>& boxes) {
    for (std::size_t i = 1; i < boxes.size(); ++i)
        if (boxes[i].x1 != boxes[i - 1].x2 + 1) return false;
    return true;
}

std::vector<std::string> linesOf(const RecordingSurface& surface, std::string_view member) {
    std::vector<std::string> found;
    for (const auto& line : surface.lines()) {
        if (line.compare(0, member.size(), member) == 0 &&
            (line.size() == member.size() || line[member.size()] == '\t'))
            found.push_back(line);
    }
    return found;
}

}  // namespace quillet::testing
