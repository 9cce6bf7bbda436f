// The options menu: captions, order, ids, check marks and the toggles of each command.
#include <gtest/gtest.h>

#include "ui/qt/options_menu.h"

namespace pomu::ui {
namespace {

struct Flags {
    bool deleteAlready, deleteProcessed, div100MB, div1GB, zip;
    bool operator==(const Flags&) const = default;
};

Flags flagsOf(const ConversionOptions& options) {
    return {options.deleteAlready, options.deleteProcessed, options.div100MB, options.div1GB,
            options.zip};
}

ConversionOptions optionsOf(const Flags& flags) {
    ConversionOptions options;
    options.deleteAlready = flags.deleteAlready;
    options.deleteProcessed = flags.deleteProcessed;
    options.div100MB = flags.div100MB;
    options.div1GB = flags.div1GB;
    options.zip = flags.zip;
    return options;
}

Flags checksOf(const OptionsMenu& menu) {
    return {menu.action(kDeleteAlready)->isChecked(), menu.action(kDeleteProcessed)->isChecked(),
            menu.action(kDiv100MB)->isChecked(), menu.action(kDiv1GB)->isChecked(),
            menu.action(kZip)->isChecked()};
}

void PrintTo(const Flags& f, std::ostream* out) {
    *out << "{" << f.deleteAlready << f.deleteProcessed << f.div100MB << f.div1GB << f.zip << "}";
}

TEST(OptionsMenuTest, HoldsTheItemsInTheirOrderWithTheirIds) {
    ConversionOptions options;
    OptionsMenu menu(options, nullptr);
    struct Item {
        bool separator;
        QString caption;
        int id;
    };
    const Item expected[] = {
        {false, QStringLiteral("あったら消す"), 40003},
        {false, QStringLiteral("やったら消す"), 40004},
        {true, QString(), 0},
        {false, QStringLiteral("100MBで分割"), 40010},
        {false, QStringLiteral("1GBで分割"), 40008},
        {true, QString(), 0},
        {false, QStringLiteral("ZIPで保存"), 40006},
    };
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), qsizetype(std::size(expected)));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const Item& item = expected[i];
        EXPECT_EQ(actions[i]->isSeparator(), item.separator) << i;
        if (item.separator) continue;
        EXPECT_EQ(actions[i]->text(), item.caption) << i;
        EXPECT_EQ(actions[i]->data().toInt(), item.id) << i;
        EXPECT_TRUE(actions[i]->isCheckable()) << i;
        EXPECT_TRUE(actions[i]->isEnabled()) << i;
        EXPECT_EQ(menu.action(item.id), actions[i]) << i;
    }
    EXPECT_EQ(menu.action(27), nullptr);
}

TEST(OptionsMenuTest, ChecksFollowTheOptionsItIsBuiltWith) {
    const Flags cases[] = {
        {false, false, false, false, false}, {true, false, false, false, false},
        {false, true, false, false, false},  {false, false, true, false, false},
        {false, false, false, true, false},  {false, false, false, false, true},
        {true, true, false, true, true},
    };
    for (const Flags& flags : cases) {
        ConversionOptions options = optionsOf(flags);
        const OptionsMenu menu(options, nullptr);
        EXPECT_EQ(checksOf(menu), flags);
    }
}

TEST(OptionsMenuTest, EachCommandTogglesItsOptionAndTheChecksFollow) {
    struct Case {
        Flags before;
        int command;
        Flags after;
    };
    const Case cases[] = {
        {{false, false, false, false, false}, kDeleteAlready, {true, false, false, false, false}},
        {{true, false, false, false, false}, kDeleteAlready, {false, false, false, false, false}},
        {{false, false, false, false, false}, kDeleteProcessed, {false, true, false, false, false}},
        {{false, true, false, false, true}, kDeleteProcessed, {false, false, false, false, true}},
        {{false, false, false, false, false}, kZip, {false, false, false, false, true}},
        {{true, true, false, false, true}, kZip, {true, true, false, false, false}},
        // The split pair stays exclusive.
        {{false, false, false, false, false}, kDiv100MB, {false, false, true, false, false}},
        {{false, false, false, true, false}, kDiv100MB, {false, false, true, false, false}},
        {{false, false, true, false, false}, kDiv100MB, {false, false, false, false, false}},
        {{false, false, false, false, false}, kDiv1GB, {false, false, false, true, false}},
        {{false, false, true, false, false}, kDiv1GB, {false, false, false, true, false}},
        {{false, false, false, true, false}, kDiv1GB, {false, false, false, false, false}},
        // Ids the menu does not have change nothing.
        {{true, false, true, false, false}, 27, {true, false, true, false, false}},
        {{true, false, true, false, false}, 2, {true, false, true, false, false}},
    };
    for (const Case& c : cases) {
        ConversionOptions options = optionsOf(c.before);
        OptionsMenu menu(options, nullptr);
        menu.runCommand(c.command);
        EXPECT_EQ(flagsOf(options), c.after) << c.command;
        EXPECT_EQ(checksOf(menu), c.after) << c.command;
    }
}

TEST(OptionsMenuTest, ChoosingAnItemRunsItsCommand) {
    ConversionOptions options;
    OptionsMenu menu(options, nullptr);
    menu.action(kDiv1GB)->trigger();
    menu.action(kDiv100MB)->trigger();
    EXPECT_EQ(checksOf(menu), (Flags{false, false, true, false, false}));
    menu.action(kDiv100MB)->trigger();
    EXPECT_EQ(checksOf(menu), (Flags{false, false, false, false, false}));
    menu.action(kZip)->trigger();
    menu.action(kDeleteAlready)->trigger();
    EXPECT_EQ(flagsOf(options), (Flags{true, false, false, false, true}));
    EXPECT_EQ(checksOf(menu), flagsOf(options));
}

}  // namespace
}  // namespace pomu::ui
