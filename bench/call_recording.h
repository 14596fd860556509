// The calls one drawing makes on its surface, recorded once and replayed onto another surface
// through the same Surface interface: replaying costs what the surface calls alone cost, the
// floor under any drawing method that makes them.
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

    std::size_t size() const noexcept { return calls_.size(); }

    void replay(Surface& target) const {
        for (const Call& call : calls_) {
            switch (call.member) {
                case Member::fontName:
                    target.setFontName(text(call));
                    break;
                case Member::foreColor:
                    target.setForeColor(call.color);
                    break;
                case Member::fontBold:
                    target.setFontBold(call.flag);
                    break;
                case Member::fontSize:
                    target.setFontSize(call.x1);
                    break;
                case Member::currentX:
                    target.setCurrentX(call.position);
                    break;
                case Member::currentY:
                    target.setCurrentY(call.y1);
                    break;
                case Member::textWidth:
                    target.textWidth(text(call));
                    break;
                case Member::textHeight:
                    target.textHeight(text(call));
                    break;
                case Member::line: {
                    std::int16_t x1 = call.x1;
                    target.line(call.flags, x1, call.y1, call.x2, call.y2, call.color);
                    break;
                }
                case Member::bar: {
                    std::int16_t x1 = call.x1;
                    target.bar(call.flags, x1, call.y1, call.x2, call.y2, call.color);
                    break;
                }
                case Member::print:
                    target.print(text(call));
                    break;
            }
        }
    }

    void setFontName(std::string_view name) override {
        metrics_.setFontName(name);
        add({.member = Member::fontName}, name);
    }
    void setForeColor(std::int32_t color) override {
        add({.member = Member::foreColor, .color = color});
    }
    void setFontBold(bool bold) override {
        metrics_.setFontBold(bold);
        add({.member = Member::fontBold, .flag = bold});
    }
    void setFontSize(std::int16_t size) override {
        metrics_.setFontSize(size);
        add({.member = Member::fontSize, .x1 = size});
    }
    void setCurrentX(Coordinate x) override { add({.member = Member::currentX, .position = x}); }
    void setCurrentY(float y) override { add({.member = Member::currentY, .y1 = y}); }
    double textWidth(std::string_view value) override {
        add({.member = Member::textWidth}, value);
        return metrics_.textWidth(value);
    }
    double textHeight(std::string_view value) override {
        add({.member = Member::textHeight}, value);
        return metrics_.textHeight(value);
    }
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override {
        add({.member = Member::line,
             .flags = flags,
             .x1 = x1,
             .x2 = x2,
             .y1 = y1,
             .y2 = y2,
             .color = color});
    }
    void bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
             std::int32_t color) override {
        add({.member = Member::bar,
             .flags = flags,
             .x1 = x1,
             .x2 = x2,
             .y1 = y1,
             .y2 = y2,
             .color = color});
    }
    void print(std::string_view value) override { add({.member = Member::print}, value); }

  private:
    enum class Member : std::uint8_t {
        fontName,
        foreColor,
        fontBold,
        fontSize,
        currentX,
        currentY,
        textWidth,
        textHeight,
        line,
        bar,
        print
    };
    struct Call {
        Member member;
        bool flag = false;
        std::int16_t flags = 0;
        std::int16_t x1 = 0;
        std::int16_t x2 = 0;
        float y1 = 0;
        float y2 = 0;
        std::int32_t color = 0;
        Coordinate position{};
        std::uint32_t textStart = 0;
        std::uint32_t textLength = 0;
    };

    void add(Call call, std::string_view value = {}) {
        call.textStart = static_cast<std::uint32_t>(texts_.size());
        call.textLength = static_cast<std::uint32_t>(value.size());
        texts_.append(value);
        calls_.push_back(call);
    }
    std::string_view text(const Call& call) const noexcept {
        return std::string_view(texts_).substr(call.textStart, call.textLength);
    }

    Surface& metrics_;
    std::vector<Call> calls_;
    std::string texts_;
};

}  // namespace quillet::bench
