// The calls one drawing makes on its surface, recorded once and issued again onto another
// surface: the floor under any drawing method that makes them.
//
// The calls are kept in flat arrays, one per kind of call, and issued kind by kind, each through
// the Surface interface: the only work beyond the surface's own is the one virtual call the
// method pays as well (no dispatch on a recorded kind, no record wider than the call's
// arguments). Issuing the kinds one after another rather than in the drawing's order can only
// make it cheaper, so this bounds the method from below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/surface.h"

namespace quillet::bench {

class CallRecording final : public Surface {
  public:
    // Answers TextWidth and TextHeight as `metrics` does, so the drawing runs as it would there.
    explicit CallRecording(Surface& metrics) : metrics_(metrics) {}

    std::size_t size() const noexcept {
        return fontNames_.size() + colors_.size() + bolds_.size() + fontSizes_.size() + xs_.size() +
               ys_.size() + widths_.size() + heights_.size() + lines_.size() + bars_.size() +
               prints_.size();
    }

    // Makes the recorded texts views of one buffer that no longer grows; call once the drawing
    // is recorded and before issue.
    void finish() {
        const auto views = [this](const std::vector<Text>& texts) {
            std::vector<std::string_view> result;
            result.reserve(texts.size());
            for (const Text& text : texts)
                result.push_back(std::string_view(texts_).substr(text.start, text.length));
            return result;
        };
        fontNameViews_ = views(fontNames_);
        widthViews_ = views(widths_);
        heightViews_ = views(heights_);
        printViews_ = views(prints_);
    }

    // The recorded calls onto `target`, kind by kind.
    [[gnu::noinline]] void issue(Surface* target) const {
        for (std::string_view name : fontNameViews_) target->setFontName(name);
        for (std::int32_t color : colors_) target->setForeColor(color);
        for (std::uint8_t bold : bolds_) target->setFontBold(bold != 0);
        for (std::int16_t size : fontSizes_) target->setFontSize(size);
        for (const Coordinate& x : xs_) target->setCurrentX(x);
        for (float y : ys_) target->setCurrentY(y);
        for (std::string_view text : widthViews_) target->textWidth(text);
        for (std::string_view text : heightViews_) target->textHeight(text);
        for (const Box& box : lines_) {
            std::int16_t x1 = box.x1;
            target->line(box.flags, x1, box.y1, box.x2, box.y2, box.color);
        }
        for (const Box& box : bars_) {
            std::int16_t x1 = box.x1;
            target->bar(box.flags, x1, box.y1, box.x2, box.y2, box.color);
        }
        for (std::string_view text : printViews_) target->print(text);
    }

    void setFontName(std::string_view name) override {
        metrics_.setFontName(name);
        fontNames_.push_back(keep(name));
    }
    void setForeColor(std::int32_t color) override { colors_.push_back(color); }
    void setFontBold(bool bold) override {
        metrics_.setFontBold(bold);
        bolds_.push_back(bold ? 1 : 0);
    }
    void setFontSize(std::int16_t size) override {
        metrics_.setFontSize(size);
        fontSizes_.push_back(size);
    }
    void setCurrentX(Coordinate x) override { xs_.push_back(x); }
    void setCurrentY(float y) override { ys_.push_back(y); }
    double textWidth(std::string_view value) override {
        widths_.push_back(keep(value));
        return metrics_.textWidth(value);
    }
    double textHeight(std::string_view value) override {
        heights_.push_back(keep(value));
        return metrics_.textHeight(value);
    }
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override {
        lines_.push_back({flags, x1, x2, y1, y2, color});
    }
    void bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
             std::int32_t color) override {
        bars_.push_back({flags, x1, x2, y1, y2, color});
    }
    void print(std::string_view value) override { prints_.push_back(keep(value)); }

  private:
    struct Box {
        std::int16_t flags;
        std::int16_t x1;
        std::int16_t x2;
        float y1;
        float y2;
        std::int32_t color;
    };
    struct Text {
        std::uint32_t start;
        std::uint32_t length;
    };

    Text keep(std::string_view value) {
        const Text text{static_cast<std::uint32_t>(texts_.size()),
                        static_cast<std::uint32_t>(value.size())};
        texts_.append(value);
        return text;
    }

    Surface& metrics_;
    std::string texts_;
    std::vector<Text> fontNames_, widths_, heights_, prints_;
    std::vector<std::string_view> fontNameViews_, widthViews_, heightViews_, printViews_;
    std::vector<std::int32_t> colors_;
    std::vector<std::uint8_t> bolds_;
    std::vector<std::int16_t> fontSizes_;
    std::vector<Coordinate> xs_;
    std::vector<float> ys_;
    std::vector<Box> lines_, bars_;
};

}  // namespace quillet::bench
