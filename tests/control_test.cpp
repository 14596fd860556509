// The Quillet control: its type names, SupBarType, fixed size and hooks.
#include <gtest/gtest.h>

#include "control/quillet.h"
#include "tests/support/drawing.h"

namespace quillet {
namespace {

TEST(Control, BarcodeTypeNamesAndValues) {
    EXPECT_EQ(barcodeTypeNames.size(), 15u);
    for (std::size_t i = 0; i < barcodeTypeNames.size(); ++i)
        EXPECT_EQ(barcodeTypeNamed(barcodeTypeNames[i]), static_cast<tBarcodeType>(i));
    EXPECT_EQ(barcodeTypeNamed("code_39f"), Code_39F);
    EXPECT_EQ(barcodeTypeNamed("UPC_A_PLUS"), UPC_A_Plus);
    EXPECT_EQ(barcodeTypeNamed("Code39"), std::nullopt);
    EXPECT_EQ(barcodeTypeNamed(""), std::nullopt);
    EXPECT_EQ(PostNet, 11);
    EXPECT_EQ(UPC_E, 14);
}

TEST(Control, SupBarTypeStoresAnySixteenBitValueAndNotifies) {
    Quillet control;
    EXPECT_EQ(control.SupBarType(), Codabar);
    std::vector<std::string> notified;
    control.propertyChanged = [&](std::string_view name) { notified.emplace_back(name); };
    control.SupBarType(99);
    EXPECT_EQ(control.SupBarType(), 99);
    control.SupBarType(-32768);
    EXPECT_EQ(control.SupBarType(), -32768);
    EXPECT_EQ(notified, (std::vector<std::string>{"SupBarType", "SupBarType"}));
    try {
        control.SupBarType(32768);
        ADD_FAILURE() << "no overflow";
    } catch (const RuntimeError& failure) {
        EXPECT_EQ(failure.number(), error::overflow);
    }
    EXPECT_EQ(control.SupBarType(), -32768);
    EXPECT_EQ(notified.size(), 2u);

    // It has no effect on drawing.
    RecordingSurface a, b;
    DrawingArguments args;
    args.pCode = "AB";
    control.Draw(Code_39, &a, args);
    control.SupBarType(Code_128);
    control.Draw(Code_39, &b, args);
    EXPECT_EQ(a.trace(), b.trace());
}

TEST(Control, KeepsItsFixedSize) {
    Quillet control;
    for (Extent requested : {Extent{1, 1}, Extent{600, 600}, Extent{100000, 20}, Extent{0, -5}}) {
        const Extent kept = control.Resize(requested);
        EXPECT_EQ(kept.width, 600);
        EXPECT_EQ(kept.height, 600);
        EXPECT_EQ(control.Size().width, 600);
    }
}

TEST(Control, AboutBoxGoesThroughTheHook) {
    Quillet control;
    control.ShowAboutBox();  // no hook: nothing happens
    int shown = 0;
    control.aboutBox = [&] { ++shown; };
    control.ShowAboutBox();
    control.ShowAboutBox();
    EXPECT_EQ(shown, 2);
}

TEST(Control, DrawRejectsTypesOutsideTheEnumeration) {
    Quillet control;
    RecordingSurface surface;
    DrawingArguments args;
    EXPECT_THROW(control.Draw(static_cast<tBarcodeType>(15), &surface, args), RuntimeError);
    EXPECT_THROW(control.Draw(static_cast<tBarcodeType>(-1), &surface, args), RuntimeError);
}

}  // namespace
}  // namespace quillet
