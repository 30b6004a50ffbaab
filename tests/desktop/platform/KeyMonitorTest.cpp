#include "desktop/KeyMonitor.h"

#include "app/AppLauncher.h"

#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

namespace kestrel {
namespace {

TEST(KeyMonitor, ActsOnTheFourKeysOnlyForTheActiveSearchWindow)
{
    using enum KeyMonitor::Action;
    // The keypad's Enter is a different key from Return and passes like any other.
    const std::pair<int, KeyMonitor::Decision> rows[] = {
        {Qt::Key_Return, {activate, true}}, {Qt::Key_Escape, {hide, true}}, {Qt::Key_Down, {moveDown, true}},
        {Qt::Key_Up, {moveUp, true}},       {Qt::Key_Enter, {}},             {Qt::Key_A, {}},
        {Qt::Key_Backspace, {}},            {Qt::Key_Left, {}},              {Qt::Key_Right, {}},
    };
    for (const auto& [key, expected] : rows) {
        EXPECT_TRUE(KeyMonitor::decide(true, key) == expected) << "key " << key;
        EXPECT_TRUE(KeyMonitor::decide(false, key) == KeyMonitor::Decision{}) << "key " << key;
    }
}

TEST(KeyMonitor, ReturnActsWhateverTheModifiersAndNeverReachesTheSearchField)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("Applications/Alpha.app"));
    struct : Workspace {
        void openApplication(const FileUrl&) override { ++launches; }
        std::size_t launches = 0;
    } workspace;
    LauncherServices services;
    services.workspace = &workspace;
    AppLauncher launcher(CatalogLocations{root.path().toStdString(), {}}, std::move(services));
    QLineEdit field;
    KeyMonitor monitor(launcher, &field);
    field.show();
    field.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&field));
    QSignalSpy fieldReturns(&field, &QLineEdit::returnPressed);

    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(workspace.launches, 1u);
    QTest::keyClick(&field, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(workspace.launches, 2u);
    QTest::keyClick(&field, Qt::Key_A); // other keys reach the field
    EXPECT_EQ(field.text().toStdString(), "a");
    EXPECT_EQ(fieldReturns.count(), 0);
}

} // namespace
} // namespace kestrel
