#include "desktop/KeyMonitor.h"

#include "PlatformFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kestrel {
namespace {

using Action = KeyMonitor::Action;
using Decision = KeyMonitor::Decision;

struct DecisionRow {
    bool active;
    int key;
    Decision expected;
};

TEST(KeyMonitorDecision, ActsOnTheFourKeysOnlyWhileTheWindowIsActive)
{
    const Decision pass{Action::none, false};
    const std::vector<DecisionRow> rows{
        {true, Qt::Key_Return, {Action::activate, true}},
        {true, Qt::Key_Escape, {Action::hide, true}},
        {true, Qt::Key_Down, {Action::moveDown, true}},
        {true, Qt::Key_Up, {Action::moveUp, true}},
        // The keypad's Enter is a different key from Return and passes.
        {true, Qt::Key_Enter, pass},
        {true, Qt::Key_A, pass},
        {true, Qt::Key_Backspace, pass},
        {true, Qt::Key_Left, pass},
        {true, Qt::Key_Right, pass},
        {false, Qt::Key_Return, pass},
        {false, Qt::Key_Escape, pass},
        {false, Qt::Key_Down, pass},
        {false, Qt::Key_Up, pass},
    };
    for (const DecisionRow& row : rows) {
        const Decision decision = KeyMonitor::decide(row.active, row.key);
        EXPECT_EQ(decision.action, row.expected.action) << "key " << row.key << " active " << row.active;
        EXPECT_EQ(decision.swallow, row.expected.swallow) << "key " << row.key << " active " << row.active;
    }
}

/// A line edit that records every key press and shortcut override that reaches it.
class SpyLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::vector<int> seen;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
            seen.push_back(static_cast<QKeyEvent*>(event)->key());
        return QLineEdit::event(event);
    }
};

/// A window with a search field, watched by a key monitor, shown by a launcher over three
/// applications with the second row selected.
class KeyMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        field = new SpyLineEdit(window.get());
        new QVBoxLayout(window.get());
        window->layout()->addWidget(field);
        harness = std::make_unique<test::LauncherHarness>(
            [this](AppLauncher&) { return std::make_unique<test::WidgetWindowPort>(*window); });
        monitor = std::make_unique<KeyMonitor>(harness->launcher(), window.get());

        harness->launcher().showSearchWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        field->setFocus();
        harness->launcher().setSelectedIndex(1);
        field->seen.clear();
    }

    void TearDown() override
    {
        monitor.reset();
        harness.reset();
        window.reset();
    }

    bool fieldSaw(int key) const
    {
        return std::find(field->seen.begin(), field->seen.end(), key) != field->seen.end();
    }

    std::unique_ptr<QWidget> window;
    SpyLineEdit* field = nullptr;
    std::unique_ptr<test::LauncherHarness> harness;
    std::unique_ptr<KeyMonitor> monitor;
};

struct KeyRow {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool reachesField;
    std::int64_t selectedAfter;
    bool visibleAfter;
    std::size_t launches;
};

TEST_F(KeyMonitorTest, ActiveWindowKeysActOnTheLauncherAndNeverReachTheField)
{
    const std::vector<KeyRow> rows{
        {"Return", Qt::Key_Return, Qt::NoModifier, false, 1, false, 1},
        {"Shift+Return", Qt::Key_Return, Qt::ShiftModifier, false, 1, false, 1},
        {"Escape", Qt::Key_Escape, Qt::NoModifier, false, 1, false, 0},
        {"Down", Qt::Key_Down, Qt::NoModifier, false, 2, true, 0},
        {"Ctrl+Down", Qt::Key_Down, Qt::ControlModifier, false, 2, true, 0},
        {"Up", Qt::Key_Up, Qt::NoModifier, false, 0, true, 0},
        {"Alt+Up", Qt::Key_Up, Qt::AltModifier, false, 0, true, 0},
        {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, true, 1, true, 0},
        {"A", Qt::Key_A, Qt::NoModifier, true, 1, true, 0},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, true, 1, true, 0},
        {"Left", Qt::Key_Left, Qt::NoModifier, true, 1, true, 0},
        {"Right", Qt::Key_Right, Qt::NoModifier, true, 1, true, 0},
    };
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        QTest::keyClick(field, static_cast<Qt::Key>(row.key), row.modifiers);

        EXPECT_EQ(fieldSaw(row.key), row.reachesField);
        EXPECT_EQ(harness->launcher().selectedIndex(), row.selectedAfter);
        EXPECT_EQ(harness->launcher().isSearchVisible(), row.visibleAfter);
        EXPECT_EQ(window->isVisible(), row.visibleAfter);
        EXPECT_EQ(harness->workspace.opened.size(), row.launches);
    }
}

TEST_F(KeyMonitorTest, EveryKeyPassesWhileAnotherWindowIsActive)
{
    QWidget other;
    auto* otherField = new SpyLineEdit(&other);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    otherField->setFocus();

    for (const int key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Down, Qt::Key_Up}) {
        otherField->seen.clear();
        QTest::keyClick(otherField, static_cast<Qt::Key>(key));
        EXPECT_FALSE(otherField->seen.empty()) << "key " << key;
    }
    EXPECT_EQ(harness->launcher().selectedIndex(), 1);
    EXPECT_TRUE(harness->launcher().isSearchVisible());
    EXPECT_TRUE(harness->workspace.opened.empty());
}

} // namespace
} // namespace kestrel
