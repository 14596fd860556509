#ifdef QUILLET_WITH_CAIRO
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <sstream>

#include "cli/command_line.h"
#include "cli/messages.h"
#include "cli/output_commands.h"

namespace quillet::cli {
namespace {

// The options of draw and sheet after the split: drawing options into arguments, output
// options into settings; returns the -o path. Help is handled by the caller.
struct Parsed {
    std::vector<std::string> positionals;
    std::string outputPath;
    std::optional<OutputFormat> namedFormat;
    bool printCode = false;
    bool help = false;
    DataChoice data;
    SizeOptions sizes;
    bool ratioGiven = false;
    bool unitsGiven = false;
    bool marginGiven = false;
};

Parsed parseOptions(const std::vector<std::string>& arguments, DrawingArguments& drawing,
                    OutputSettings& settings, bool drawingOptions) {
    std::vector<std::string_view> valued = outputOptionNames;
    valued.push_back("-o");
    std::vector<std::string_view> flags = outputFlagNames;
    flags.insert(flags.end(), {"--help", "-h", "--print-code"});
    if (drawingOptions) {
        valued.insert(valued.end(), drawingOptionNames.begin(), drawingOptionNames.end());
        valued.insert(valued.end(), dataOptionNames.begin(), dataOptionNames.end());
        valued.insert(valued.end(), sizeOptionNames.begin(), sizeOptionNames.end());
        flags.insert(flags.end(), dataFlagNames.begin(), dataFlagNames.end());
    }

    Parsed parsed;
    const auto split = splitCommandLine(arguments, valued, flags);
    parsed.positionals = split.positionals;
    for (const auto& [name, value] : split.options) {
        if (name == "--help" || name == "-h")
            parsed.help = true;
        else if (name == "--print-code")
            parsed.printCode = true;
        else if (name == "-o")
            parsed.outputPath = value;
        else if (applyOutputOption(name, value, settings)) {
            if (name == "--format") parsed.namedFormat = settings.format;
            parsed.unitsGiven |= name == "--units";
            parsed.marginGiven |= name == "--margin";
        } else if (!applyDataOption(name, value, parsed.data) &&
                   !applySizeOption(name, value, parsed.sizes)) {
            applyDrawingOption(name, value, drawing);
            parsed.ratioGiven |= name == "--ratio";
            if (name == "--chk") parsed.data.check = drawing.pChk;
        }
    }
    return parsed;
}

}  // namespace

std::string_view drawHelp() {
    return "usage: quillet draw SYMBOLOGY CODE -o FILE [options]\n"
           "\n"
           "Draws one symbol with the cairo surface and writes it as PNG, PDF, SVG or PostScript.\n"
           "CODE is checked first: digits and lengths of EAN/UPC (a typed check digit must be\n"
           "right), ISBN-10 and ISBN-13 with hyphens, ZIP and ZIP+4 for POSTNET, each\n"
           "symbology's characters; data it refuses exits 65 with the reason. Code 128 takes\n"
           "plain data of codes 0 to 255 in the shortest mix of code sets A, B and C (--set\n"
           "draws one set with the original method), its check character always on, as Code\n"
           "93's is. GS1-128 takes bracketed AIs, (01)09501101530003(17)260101(10)ABC123, each\n"
           "field checked; EAN-13, UPC-A and UPC-E take an add-on after \"+\" (...+05, "
           "...+51299).\n"
           "The page is everything drawn, text included, with the quiet zones each standard asks\n"
           "for beside the bars (EAN-13 11 and 7 modules, UPC-A 9, Code 128 10, ...) and 10\n"
           "modules above and below. Nothing is printed on success; a drawing that ends with a\n"
           "result other than 0 prints \"quillet: result N (meaning)\", writes nothing and exits\n"
           "1; a failure before the drawing starts exits 2; bad options exit 64.\n"
           "\n"
           "Everyday jobs:\n"
           "  a 300 dpi PNG for print:  quillet draw ean13 4006381333931 -o ean.png --dpi 300\n"
           "                            --module 0.33mm --height 22mm\n"
           "  an SVG for a page:        quillet draw code128 \"ABC-12345\" -o code.svg\n"
           "  a transparent PNG:        quillet draw code39 CODE39 -o code39.png --background "
           "none\n"
           "  a rotated symbol:         quillet draw isbn 978-3-16-148410-0 -o isbn.pdf --rotate "
           "90\n"
           "  labels from a table:      quillet batch addresses.csv -o labels.pdf --template 5160\n"
           "\n"
           "  --as-is             pass CODE to the method untouched, as library and COM callers\n"
           "                      do (Code 128 data then begins with its set letter A, B or C)\n"
           "  --set A|B|C         Code 128 in one code set, through the original method\n"
           "  --bearers W:STYLE   ITF-14's bearer bars: W modules wide (0 for none), STYLE frame\n"
           "                      or bars (top and bottom only) [5:frame]\n"
           "  --module SIZE       the module (narrow element) width with a unit: 0.33mm, 0.013in,\n"
           "                      1pt, 4px; --width takes the same, or whole surface units. The\n"
           "                      surface's unit is then chosen to carry it exactly (in PNG a\n"
           "                      whole number of pixels) and wide elements are 3 modules unless\n"
           "                      --ratio says otherwise [2 pixels at 96 dpi]\n"
           "  --height SIZE       the bar height, with a unit or in surface units [1200 twips]\n"
           "  --font-size SIZE    the text's size in points (or with a unit), whatever the module\n"
           "                      [the method's: width \\ 2]\n"
           "  --print-code        print the caller's variable as the method left it (on standard\n"
           "                      error when the image goes to standard output)\n";
}

int runDraw(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
            bool outIsTerminal) {
    DrawingArguments drawing;
    OutputSettings settings;
    Parsed parsed;
    Symbology type;
    try {
        parsed = parseOptions(arguments, drawing, settings, true);
        if (parsed.help) {
            out << drawHelp() << "\n"
                << symbologyHelp() << "\n"
                << outputOptionsHelp() << "\n"
                << drawingOptionsHelp();
            return 0;
        }
        if (parsed.positionals.size() != 2)
            throw UsageError("draw takes SYMBOLOGY and CODE (see quillet draw --help)");
        if (parsed.outputPath.empty())
            throw UsageError("draw needs -o FILE (- for standard output)");
        type = parseSymbology(parsed.positionals[0]);
        drawing.pCode = parsed.positionals[1];
        settings.format = formatFor(parsed.outputPath, parsed.namedFormat, outIsTerminal);
        refuseBinaryOnTerminal(parsed.outputPath, settings.format, outIsTerminal);
        settings.creationTime = sourceDateEpoch(settings.format);
        // One twip-based module would be a single pixel at 96 dpi, too thin to read well.
        if (!parsed.sizes.module && !parsed.unitsGiven) {
            drawing.pWidth = defaultDrawWidth;
            if (!parsed.ratioGiven) drawing.pRatio = defaultDrawRatio;
        }
        resolveSizes(parsed.sizes, parsed.ratioGiven, drawing, settings);
        checkPositions(drawing);
        if (!parsed.marginGiven) settings.quietZones = standardQuietZones();
        checkTypedData(type, drawing, parsed.data, err);
    } catch (const UsageError& usage) {
        err << "quillet: " << usage.what() << "\n";
        return exitUsage;
    } catch (const DataError& refused) {
        printMessage(err, refused.what());
        return exitDataError;
    }

    std::ostringstream image;
    SymbolDrawing drawn;
    try {
        Document document(image, settings);
        drawn = drawSymbolPage(document, type, drawing, settings);
        if (drawn.result == 0) document.finish();
    } catch (const RuntimeError& failure) {
        err << "quillet: " << errorMessage(failure.number()) << "\n";
        return 2;
    } catch (const UnusableOutput& unusable) {
        err << "quillet: " << unusable.what() << "\n";
        return exitUsage;
    } catch (const std::exception& failure) {
        err << "quillet: " << failure.what() << "\n";
        return 1;
    }
    if (parsed.printCode) (parsed.outputPath == "-" ? err : out) << drawn.code << "\n";
    if (drawn.result != 0) {
        err << "quillet: " << resultMessage(drawn.result) << "\n";
        return 1;
    }
    try {
        writeOutput(parsed.outputPath, image.str(), out);
    } catch (const std::exception& failure) {
        err << "quillet: " << failure.what() << "\n";
        return 1;
    }
    return 0;
}

namespace {

// What the sheet shows for each symbology: data that each method takes as it is.
struct Sample {
    Symbology type;
    std::string_view code;
    bool check;
};
constexpr std::array<Sample, symbologyCount> samples = {{
    {Codabar, "A40156B", false},
    {Code_11, "123-45", true},
    {Code_128, "BQuillet-128", true},
    {Code_25, "1234567890", true},
    {Code_39, "CODE39", true},
    {Code_39F, "Code 39 Full", false},
    {Code_93, "CODE 93", true},
    {EAN_13, "590123412345", false},
    {EAN_8, "9638507", false},
    {ISBN, "030640615", false},
    {Code_MSI, "1234567", true},
    {PostNet, "12345", false},
    {UPC_A, "03600029145", false},
    {UPC_A_Plus, "78901234567", false},
    {UPC_E, "0123456", false},
    {ExtendedType::Code_128_Auto, "Quillet 2026-12-07", false},
    {ExtendedType::GS1_128, "(01)09501101530003(10)ABC123", false},
    {ExtendedType::ITF_14, "1540014128876", false},
    {ExtendedType::EAN_13_AddOn, "9771234567003+05", false},
    {ExtendedType::UPC_A_AddOn, "03600029145+51299", false},
    {ExtendedType::UPC_E_AddOn, "0425261+12", false},
    {ExtendedType::Intelligent_Mail, "01234567094987654321-01234567891", false},
}};

constexpr int sheetColumns = 3;
constexpr double sheetDpi = 200;
constexpr double captionPoints = 10;

struct SheetCell {
    Symbology type;
    DrawingArguments arguments;
    SymbolDrawing measured;
};

}  // namespace

std::string_view sheetHelp() {
    return "usage: quillet sheet -o FILE [options]\n"
           "\n"
           "Draws a sample sheet: every symbology built so far, three to a row, each under its\n"
           "type name, as PNG or PDF (SVG and PostScript work too). A symbology that is not\n"
           "built yet (result 445) is left out. PNG is drawn at 200 dpi unless --dpi says\n"
           "otherwise.\n"
           "\n"
           "Example: quillet sheet -o sample-sheet.png\n";
}

int runSheet(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
             bool outIsTerminal) {
    DrawingArguments unused;
    OutputSettings settings;
    settings.dpi = sheetDpi;
    Parsed parsed;
    try {
        parsed = parseOptions(arguments, unused, settings, false);
        if (parsed.help) {
            out << sheetHelp() << "\n" << outputOptionsHelp();
            return 0;
        }
        if (!parsed.positionals.empty()) throw UsageError("sheet takes no arguments but options");
        if (parsed.outputPath.empty()) throw UsageError("sheet needs -o FILE");
        settings.format = formatFor(parsed.outputPath, parsed.namedFormat, outIsTerminal);
        refuseBinaryOnTerminal(parsed.outputPath, settings.format, outIsTerminal);
        settings.creationTime = sourceDateEpoch(settings.format);
    } catch (const UsageError& usage) {
        err << "quillet: " << usage.what() << "\n";
        return exitUsage;
    }

    std::vector<SheetCell> cells;
    double cellWidth = 0;
    try {
        for (const auto& sample : samples) {
            SheetCell cell{sample.type, {}, {}};
            cell.arguments.pCode = sample.code;
            cell.arguments.pChk = sample.check;
            if (cell.type == ExtendedType::ITF_14) cell.arguments.pRatio = "5:frame";
            cell.measured = measureSymbol(cell.type, cell.arguments, settings);
            if (cell.measured.result == error::notImplemented) continue;
            if (cell.measured.result != 0) {
                err << "quillet: " << cell.type.name() << ": result "
                    << numberAndMeaning(cell.measured.result) << "\n";
                continue;
            }
            cellWidth = std::max(cellWidth, cell.measured.pageWidth);
            cells.push_back(std::move(cell));
        }
    } catch (const RuntimeError& failure) {
        err << "quillet: error " << numberAndMeaning(failure.number()) << "\n";
        return 1;
    } catch (const UnusableOutput& unusable) {
        err << "quillet: " << unusable.what() << "\n";
        return exitUsage;
    }
    if (cells.empty()) {
        err << "quillet: no symbology is built yet\n";
        return 1;
    }

    const double devicePerPoint = settings.devicePerPoint();
    const double captionSize = captionPoints * devicePerPoint;
    const double captionLine = std::ceil(captionSize * 1.5);
    std::vector<double> rowHeights;
    for (std::size_t i = 0; i < cells.size(); i += sheetColumns) {
        double height = 0;
        for (std::size_t j = i; j < std::min(cells.size(), i + sheetColumns); ++j)
            height = std::max(height, cells[j].measured.pageHeight);
        rowHeights.push_back(std::ceil(captionLine + height));
    }
    cellWidth = std::ceil(cellWidth);
    const double border = std::ceil(captionLine);
    double pageHeight = 2 * border;
    for (double height : rowHeights) pageHeight += height;
    const double pageWidth = 2 * border + cellWidth * static_cast<double>(std::min<std::size_t>(
                                                          cells.size(), sheetColumns));

    std::ostringstream image;
    try {
        Document document(image, settings);
        cairo_t* context = document.beginPage(pageWidth, pageHeight);
        double top = border;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const auto& cell = cells[i];
            const double left = border + cellWidth * static_cast<double>(i % sheetColumns);
            const double padLeft = cell.measured.padLeft, padTop = cell.measured.padTop;
            cairo_select_font_face(context, "Arial", CAIRO_FONT_SLANT_NORMAL,
                                   CAIRO_FONT_WEIGHT_BOLD);
            cairo_set_font_size(context, captionSize);
            cairo_set_source_rgb(context, 0.2, 0.2, 0.2);
            cairo_move_to(context, left + padLeft, top + captionSize);
            cairo_show_text(context, std::string(cell.type.name()).c_str());
            cairo_new_path(context);
            drawSymbolAt(context, cell.type, cell.arguments, settings, cell.measured,
                         left + padLeft, top + captionLine + padTop);
            if (i % sheetColumns == sheetColumns - 1) top += rowHeights[i / sheetColumns];
        }
        document.endPage();
        document.finish();
        writeOutput(parsed.outputPath, image.str(), out);
    } catch (const UnusableOutput& unusable) {
        err << "quillet: " << unusable.what() << "\n";
        return exitUsage;
    } catch (const std::exception& failure) {
        err << "quillet: " << failure.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace quillet::cli
#endif
