// The caller's drawing object, reached by late binding, as a quillet::Surface.
#pragma once

#include <array>

#include "render/surface.h"
#include "windows/control/com_shell.h"

namespace quillet::com {

// Lives for one drawing call: each member is looked up by name on its first use and its DISPID
// reused for every later box of the call. A failing lookup or member throws the run-time error
// a VB host would report (438 for a member the object lacks).
class DispatchSurface final : public Surface {
  public:
    // lineColor is the caller's pLineColor variable: "Line" receives it by reference for every
    // bar, so that what the object writes into it reaches the caller and the following bars.
    DispatchSurface(IDispatch* object, LONG* lineColor) noexcept
        : object_(object), lineColor_(lineColor) {}
    DispatchSurface(const DispatchSurface&) = delete;
    DispatchSurface& operator=(const DispatchSurface&) = delete;

    void setFontName(std::string_view name) override;
    void setForeColor(std::int32_t color) override;
    void setFontBold(bool bold) override;
    void setFontSize(std::int16_t size) override;
    void setCurrentX(Coordinate x) override;
    void setCurrentY(float y) override;
    double textWidth(std::string_view text) override;
    double textHeight(std::string_view text) override;
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override;
    void bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
             std::int32_t color) override;
    void print(std::string_view text) override;

    enum Member {
        FontName,
        ForeColor,
        FontBold,
        FontSize,
        CurrentX,
        CurrentY,
        TextWidth,
        TextHeight,
        Line,
        Print,
        memberCount
    };

  private:
    DISPID dispid(Member member);
    void put(Member member, VARIANT& value);
    // Arguments last to first, as DISPPARAMS lists them; the result, when wanted, as a double.
    double call(Member member, VARIANT* reversed, UINT count, bool wantResult);
    double measure(Member member, std::string_view text);

    // Flags, X1 (by reference), Y1, X2, Y2 and the colour as given.
    void callLine(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                  const VARIANT& color);

    IDispatch* object_;
    LONG* lineColor_;
    std::array<DISPID, memberCount> dispids_{};
    std::array<bool, memberCount> resolved_{};
};

}  // namespace quillet::com
