// The drawing call frame shared by every drawing method.
//
// A method parses what it must before its trap, then asks the frame to set up the font, paint
// module patterns or two-width elements and place its texts. The frame alone keeps the running x,
// checks every 16-bit step and builds every coordinate that reaches the surface, so a symbology
// file only says which pattern, which band and which text.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "render/arithmetic.h"
#include "render/errors.h"
#include "render/ratio.h"
#include "render/surface.h"
#include "render/text.h"

// A run painter written out wherever it is asked for in a build for speed, where the call it
// saves is a large part of a short run; a build for size (the WebAssembly module) keeps one copy.
#if defined(__OPTIMIZE_SIZE__)
#define QUILLET_INLINE_RUN
#else
#define QUILLET_INLINE_RUN [[gnu::always_inline]]
#endif

namespace quillet {

// The thirteen arguments of a drawing method. pCode is the caller's variable.
struct Arguments {
    Surface* pObject;
    float pX;
    float pY;
    std::string& pCode;
    std::int16_t pWidth;
    std::int16_t pHeight;
    std::int16_t pText;
    bool pBold;
    std::string_view pFont;
    std::int32_t pForeColor;
    std::int32_t pLineColor;
    std::string_view pRatio;
    bool pChk;
};

// The vertical extent of a box.
struct Band {
    float top;
    float bottom;
};

// Narrow and wide element widths of the two-width symbologies; each width is pWidth plus an
// extra, summed once but checked when an element is painted, so that an overflow stops there.
class ElementWidths {
  public:
    ElementWidths(std::int16_t base, Ratio extras) noexcept
        : narrow_(base + extras.narrowExtra),
          wide_(base + extras.wideExtra),
          widest_(std::max(std::abs(narrow_), std::abs(wide_))) {}
    std::int16_t narrow() const { return checkedInt16(narrow_); }
    std::int16_t wide() const { return checkedInt16(wide_); }

  private:
    friend class Frame;
    std::int32_t narrow_;
    std::int32_t wide_;
    std::int32_t widest_;  // either way, for the frame's proof that a run of elements fits
};

class Frame {
  public:
    explicit Frame(const Arguments& arguments) noexcept
        : args_(arguments), target_(arguments.pObject) {}

    const Arguments& arguments() const noexcept { return args_; }

    // The surface, or the "object variable not set" error (91) when the caller passed none.
    Surface& surface() const {
        if (target_ == nullptr) raise(error::objectVariableNotSet);
        return *target_;
    }

    // "FontName", "ForeColor", "FontBold", "FontSize" = pWidth \ 2, in that order, every call.
    void setUpFont() const;

    // The running x starts at pX rounded half to even.
    void startAtX() { moveTo(roundToInt16(args_.pX)); }
    std::int16_t runningX() const noexcept { return runningX_; }
    void advance(std::int16_t width) { moveTo(add16(runningX_, width)); }

    // Proves once that the next `count` pWidth-wide modules from the running x fit, so that the
    // module runs within them need no proof of their own until the surface or anything else
    // moves x. A run beyond them proves itself as before.
    void proveModules(std::size_t count) noexcept {
#if !defined(__OPTIMIZE_SIZE__)
        provenModules_ =
            runFits(runningX_, count, std::abs(std::int32_t{args_.pWidth})) ? count : 0;
#else
        (void)count;
#endif
    }

    // Single-precision y coordinates, summed as pHeight + pY + term.
    float below(std::int16_t term, float offset = 0.0f) const noexcept {
        return static_cast<float>(args_.pHeight) + (args_.pY + offset) + static_cast<float>(term);
    }
    Band normalBand(float offset = 0.0f) const noexcept {
        return {args_.pY + offset, below(0, offset)};
    }
    // Guard bars reach pHeight \ 6 further down.
    Band longBand(float offset = 0.0f) const {
        return {args_.pY + offset, below(longTerm(), offset)};
    }
    std::int16_t longTerm() const {
        return divide16(args_.pHeight, 6);
    }
    // The lower half of the normal band. Its top is the exact middle, not the integer half used
    // elsewhere, so that half and full bars share the bottom line.
    Band halfBand() const noexcept {
        return {static_cast<float>(args_.pY + args_.pHeight / 2.0), normalBand().bottom};
    }
    // The four states of a four-state postal bar in exact thirds of the normal band: the tracker
    // is the middle third, an ascender reaches up from it to the top, a descender down from it
    // to the bottom, a full bar both.
    enum class BarState { full, ascender, descender, tracker };
    Band stateBand(BarState state) const noexcept {
        const double third = args_.pHeight / 3.0;
        const bool up = state == BarState::full || state == BarState::ascender;
        const bool down = state == BarState::full || state == BarState::descender;
        return {up ? args_.pY : static_cast<float>(args_.pY + third),
                down ? normalBand().bottom : static_cast<float>(args_.pY + 2.0 * third)};
    }
    // Top of the human-readable text: pY + pHeight + pHeight \ 20.
    float textRow(float offset = 0.0f) const {
        return below(divide16(args_.pHeight, 20), offset);
    }

    // One box from the running x, width wide; the running x then moves past it.
    void paintBox(std::int16_t width, Band band, bool bar) {
        moveTo(boxAt(surface(), runningX_, width, band, bar, args_.pLineColor));
    }

    // One bar from `left` to the running x, which stays where it is: a bar along what was
    // painted since the running x was `left`, such as ITF-14's bearer bars.
    void paintBarSince(std::int16_t left, Band band) {
        boxAt(surface(), left, checkedInt16(runningX_ - left), band, true, args_.pLineColor);
    }

    // A module pattern: one pWidth-wide box per character, "0" a white space, anything else a bar.
    QUILLET_INLINE_RUN void paintModules(std::string_view pattern, const Band& band) {
        const char* module = pattern.data();
        paintModuleRun(
            pattern.size(), [&module] { return *module++ != '0'; }, band);
    }

    // Count modules given as bits, the first module in the lowest: a 1 a bar, a 0 a white space.
    // The boxes are those of the same pattern as text.
    template <int Count>
    QUILLET_INLINE_RUN void paintModuleBits(std::uint32_t bits, const Band& band) {
        paintModuleRun(
            Count,
            [&bits] {
                const bool bar = (bits & 1U) != 0;
                bits >>= 1;
                return bar;
            },
            band);
    }

    // Height-modulated bars, pWidth wide and each followed by a space as wide: a bar spans
    // `tall` for a "1" in heights and `low` for a "0"; every space spans `tall`.
    void paintHeightBars(std::string_view heights, const Band& tall, const Band& low) {
        Surface& target = surface();
        const std::int32_t lineColor = args_.pLineColor;
        const std::int16_t width = args_.pWidth;
        std::int16_t x = runningX_;
        const char* height = heights.data();
        const char* const end = height + heights.size();
        bool spaceDue = false;  // the surface moved x at a bar whose space is still to come
        if (runFits(x, 2 * heights.size(), std::abs(std::int32_t{width}))) {
            while (height != end) {
                const Band& band = *height++ == '0' ? low : tall;
                spaceDue = paintUnchecked(target, x, width, band, true, lineColor);
                if (spaceDue || paintUnchecked(target, x, width, tall, false, lineColor)) break;
            }
        }
        if (spaceDue) x = boxAt(target, x, width, tall, false, lineColor);
        for (; height != end; ++height) {
            x = boxAt(target, x, width, *height == '0' ? low : tall, true, lineColor);
            x = boxAt(target, x, width, tall, false, lineColor);
        }
        moveTo(x);
    }

    // Two-width elements, alternately bar and space starting with a bar (or a space when
    // firstIsBar is false): "0" narrow, anything else wide.
    QUILLET_INLINE_RUN void paintElements(std::string_view pattern, const ElementWidths& widths,
                                          const Band& band, bool firstIsBar = true) {
        Surface& target = surface();
        const std::int32_t lineColor = args_.pLineColor;
        const ElementWidths local = widths;
        std::int16_t x = runningX_;
        const char* element = pattern.data();
        const char* const end = element + pattern.size();
        if (runFits(x, pattern.size(), local.widest_)) {
            const auto narrow = static_cast<std::int16_t>(local.narrow_);
            const auto wide = static_cast<std::int16_t>(local.wide_);
            // One element, a bar or a space as the caller knows in place.
            const auto paint = [&](bool bar) {
                const std::int16_t width = *element++ == '0' ? narrow : wide;
                return paintUnchecked(target, x, width, band, bar, lineColor);
            };
            // Bar and space in pairs, so that which of the two a box is is known in place.
            bool moved = !firstIsBar && element != end && paint(false);
            while (!moved && end - element >= 2) moved = paint(true) || paint(false);
            if (!moved && element != end) paint(true);
        }
        // An element is a bar when it stands where the first does, every second one on.
        bool bar = ((element - pattern.data()) % 2 == 0) == firstIsBar;
        for (; element != end; ++element) {
            x = boxAt(target, x, *element == '0' ? local.narrow() : local.wide(), band, bar,
                      lineColor);
            bar = !bar;
        }
        moveTo(x);
    }

    // "CurrentX", "CurrentY", then the text output.
    void writeText(Coordinate x, float y, std::string_view text) const {
        Surface& target = surface();
        target.setCurrentX(x);
        target.setCurrentY(y);
        target.print(text);
    }
    // The text left-aligned at the running x on the text row.
    void writeAtRunningX(std::string_view text, float rowOffset = 0.0f) const {
        writeText(runningX_, textRow(rowOffset), text);
    }
    // Moves the running x past a text: running x + TextWidth(text) + gap, rounded half to even.
    void advancePastText(std::string_view text, std::int16_t gap = 0);

    // Centres a text under the symbol, on the span from pX to the running x + 10; when the
    // measured text is wider than the running x (an absolute coordinate) it starts at 10.
    // Codabar compares the width of its whole data but centres the inner text, hence two texts.
    void centreText(std::string_view text) const;
    void centreText(std::string_view compared, std::string_view printed) const;
    // The same on the text row moved down by rowOffset.
    void centreText(std::string_view text, float rowOffset) const;

  private:
    void moveTo(std::int16_t x) noexcept {
        runningX_ = x;
        provenModules_ = 0;
    }

    // Whether `count` modules from x fit: within those proven, or proven now.
    bool fitsModules(std::int16_t x, std::size_t count, std::int16_t width) noexcept {
        if (provenModules_ >= count) {
            provenModules_ -= count;
            return true;
        }
        provenModules_ = 0;
        return runFits(x, count, std::abs(std::int32_t{width}));
    }

    // count pWidth-wide boxes from the running x, isBar() telling each in turn whether it is a
    // bar. Everything a box needs is held here but the band's edges, which are read again after
    // each surface call (heldInMemory).
    template <typename IsBar>
    QUILLET_INLINE_RUN void paintModuleRun(std::size_t count, IsBar isBar, const Band& band) {
        Surface& target = surface();
        const std::int32_t lineColor = args_.pLineColor;
        const std::int16_t width = args_.pWidth;
        std::int16_t x = runningX_;
        std::size_t left = count;
        if (fitsModules(x, count, width)) {
            const Band& edges = heldInMemory(band);
            while (left > 0) {
                --left;
                if (paintUnchecked(target, x, width, edges, isBar(), lineColor)) {
                    provenModules_ = 0;
                    break;
                }
            }
        }
        for (; left > 0; --left) x = boxAt(target, x, width, band, isBar(), lineColor);
        runningX_ = x;
    }

    // The band as it is, but the optimiser takes it for memory that a surface call may change:
    // a band kept in registers would be saved and restored around every call, where one read
    // after each call is enough.
    static const Band& heldInMemory(const Band& band) noexcept {
#if defined(__GNUC__) && !defined(__OPTIMIZE_SIZE__)
        asm("" : : "r"(&band) : "memory");
#endif
        return band;
    }

    // Whether `count` boxes from x, none wider than `widest` either way, all stay inside the
    // 16-bit range, which is known before the first: then they need no check each, and an
    // overflow can only come from a box whose x the surface moved.
    static bool runFits(std::int16_t x, std::size_t count, std::int32_t widest) noexcept {
        const std::int64_t reach = static_cast<std::int64_t>(count) * widest;
        return widest <= int16Max && x + reach <= int16Max && x - reach - 1 >= int16Min;
    }

    // The surface call for one box: a bar in lineColor through the surface's bar(), a space in
    // white through line().
    static void callBox(Surface& target, std::int16_t& x1, std::int16_t right, const Band& band,
                        bool bar, std::int32_t lineColor) {
        if (bar) {
            target.bar(boxFlags, x1, band.top, right, band.bottom, lineColor);
        } else {
            target.line(boxFlags, x1, band.top, right, band.bottom, white);
        }
    }

    // boxAt for a box that runFits has proven: moves x past the box and says whether the
    // surface moved x, after which the boxes that follow are checked again.
    static bool paintUnchecked(Surface& target, std::int16_t& x, std::int16_t width,
                               const Band& band, bool bar, std::int32_t lineColor) {
        const auto end = static_cast<std::int16_t>(x + width);
        const auto right = static_cast<std::int16_t>(end - 1);
        std::int16_t x1 = x;
        callBox(target, x1, right, band, bar, lineColor);
        if (x1 != x) [[unlikely]] {
            x = add16(x1, width);
            return true;
        }
        x = end;
        return false;
    }

    // One box from x, width wide, and the x after it. The right edge is summed left to right, as
    // x + width - 1, each step checked. The surface receives x by reference and may change it
    // before the step past the box; it is handed a copy so that, when it does not, the next box
    // starts from a register and not from memory.
    static std::int16_t boxAt(Surface& target, std::int16_t x, std::int16_t width, const Band& band,
                              bool bar, std::int32_t lineColor) {
        const std::int32_t end = x + width;
        if (end > int16Max || end - 1 < int16Min) raise(error::overflow);
        const auto right = static_cast<std::int16_t>(end - 1);
        std::int16_t x1 = x;
        callBox(target, x1, right, band, bar, lineColor);
        return x1 == x ? static_cast<std::int16_t>(end) : add16(x1, width);
    }

    void placeCentred(double comparedWidth, std::string_view printed, bool measurePrinted,
                      float rowOffset = 0.0f) const;

    const Arguments& args_;
    Surface* target_;  // pObject, held here so that every use is one load and not two
    std::int16_t runningX_ = 0;
    std::size_t provenModules_ = 0;  // modules from the running x known to fit
};

// A character's pattern as a run holds it. In a build for speed it is kept in a block of 16
// characters, so that holding it back is one copy of a fixed size; a build for size keeps the
// pattern's text alone.
#if defined(__OPTIMIZE_SIZE__)
using PatternBlock = std::string_view;
#else
struct PatternBlock {
    std::array<char, 16> characters{};
    std::uint8_t length = 0;

    constexpr PatternBlock() noexcept = default;
    constexpr PatternBlock(std::string_view pattern)
        : length(static_cast<std::uint8_t>(pattern.size())) {
        if (pattern.size() > characters.size()) throw "a pattern longer than its block";
        for (std::size_t k = 0; k < pattern.size(); ++k) characters[k] = pattern[k];
    }
    constexpr std::size_t size() const noexcept { return length; }
};
#endif

constexpr std::string_view textOf(const PatternBlock& block) noexcept {
#if defined(__OPTIMIZE_SIZE__)
    return block;
#else
    return {block.characters.data(), block.length};
#endif
}

// A table of patterns as blocks, made when the program is built.
template <std::size_t N>
constexpr std::array<PatternBlock, N> patternBlocks(std::array<std::string_view, N> patterns) {
    std::array<PatternBlock, N> blocks{};
    for (std::size_t k = 0; k < N; ++k) blocks[k] = PatternBlock(patterns[k]);
    return blocks;
}

// The patterns of several characters held back and painted as one run, so that what starting a
// run costs is paid once per symbol and not once per character: modules, two-width elements or
// height-modulated bars. The boxes are those the patterns would give painted one by one;
// two-width elements keep alternating bar and space across the characters, from a bar. Whatever
// must come before a later surface call (a text, an error) is painted first with paint().
class PatternRun {
  public:
    // Module patterns, each module one pWidth-wide box.
    PatternRun(Frame& frame, const Band& band) noexcept : frame_(frame), band_(band) {}
    // Two-width elements in `widths`.
    PatternRun(Frame& frame, const ElementWidths& widths, const Band& band) noexcept
        : frame_(frame), band_(band), widths_(&widths) {}
    // Height-modulated bars, each followed by its space: `band` tall, `low` for a "0".
    PatternRun(Frame& frame, const Band& band, const Band& low) noexcept
        : frame_(frame), band_(band), low_(&low) {}

    void add(std::string_view pattern) {
        for (const char element : pattern) {
            if (size_ > runLength) paint();
            held_[size_++] = element;
        }
    }
#if !defined(__OPTIMIZE_SIZE__)
    void add(const PatternBlock& block) {
        addFixed(block.characters, block.length);
    }
#endif
    template <std::size_t N>
    void add(const std::array<char, N>& pattern) {
#if defined(__OPTIMIZE_SIZE__)
        add(std::string_view(pattern.data(), N));
#else
        addFixed(pattern, N);
#endif
    }
    // A two-width character and the narrow space after it.
    void addWithNarrowSpace(const PatternBlock& block) {
        add(block);
        held_[size_++] = '0';
    }

    void paint() {
        if (size_ == 0) return;
        const std::string_view held(held_.data(), size_);
        size_ = 0;
        if (low_ != nullptr) {
            frame_.paintHeightBars(held, band_, *low_);
            return;
        }
        if (widths_ == nullptr) {
            frame_.paintModules(held, band_);
            return;
        }
        frame_.paintElements(held, *widths_, band_, firstIsBar_);
        if (held.size() % 2 != 0) firstIsBar_ = !firstIsBar_;
    }

    // An error at a later character: what is held is painted first, as it would have been.
    [[noreturn]] void fail(std::int32_t number) {
        paint();
        raise(number);
    }

  private:
    // Painted once longer than this; a block after it still fits, and a narrow space after that.
    static constexpr std::size_t runLength = 256;
    static constexpr std::size_t blockLength = 16;

    template <std::size_t N>
    void addFixed(const std::array<char, N>& characters, std::size_t length) {
        static_assert(N <= blockLength);
        if (size_ > runLength) paint();
        std::copy_n(characters.data(), N, held_.data() + size_);
        size_ += length;
    }

    Frame& frame_;
    const Band& band_;
    const ElementWidths* widths_ = nullptr;
    const Band* low_ = nullptr;
    bool firstIsBar_ = true;
    std::size_t size_ = 0;
    std::array<char, runLength + blockLength + 1> held_;
};

}  // namespace quillet
