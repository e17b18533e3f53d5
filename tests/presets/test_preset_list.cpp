// The preset list against a real store: choosing items saves, the menu commands recall, rename
// and delete, and the items follow.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "temp_dir.h"
#include "widgets/preset_list.h"

namespace quorvel {
namespace {

class PresetListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_preset_list";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) {
            // Never needs a display, whatever the runner passes on.
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
            new QApplication(argc, argv);
        }
    }

    void SetUp() override {
        loadFactoryDefaults(state_);
        store_.setErrorSink([this](const std::string& m) { shown_.push_back(m); });
    }

    QStringList items(const DropList& list) const {
        QStringList out;
        for (int i = 0; i < list.count(); ++i) {
            out << list.itemText(i);
        }
        return out;
    }

    testing::TempDir dir_;
    PresetStore store_{PresetStore::pathIn(dir_.path())};
    DeviceState state_{};
    std::vector<std::string> shown_;
};

TEST_F(PresetListTest, SaveRecallRenameDelete) {
    PresetList list(1010, PresetBlock::Compressor);
    list.bind(&store_, &state_);
    list.setIndex(2);
    list.fill();
    EXPECT_EQ(items(list), QStringList{"SAVE PRESET"});

    state_.input[2].dynamics.compRatio = 100;
    state_.input[2].dynamics.compGain = 200;
    QStringList saved;
    QObject::connect(&list, &PresetList::saved, [&](const QString& s) { saved << s; });
    emit list.itemChosen(1010, 0);
    emit list.itemChosen(1010, 0);
    EXPECT_EQ(saved, (QStringList{"1:SAVE1", "2:SAVE2"}));
    EXPECT_EQ(items(list), (QStringList{"SAVE PRESET", "1:SAVE1", "2:SAVE2"}));

    // Choosing a stored item offers the compressor's menu.
    list.setSelection(1);
    emit list.itemChosen(1010, 1);
    QMenu* menu = list.itemMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "presetMenu216");
    EXPECT_TRUE(menu->isVisible());
    menu->hide();

    state_.input[2].dynamics = Dynamics{0, 0, 1, 20, 0, 10};
    int recalledIndex = -1;
    QObject::connect(&list, &PresetList::recalled, [&](int i) { recalledIndex = i; });
    auto* recall = menu->findChild<QAction*>("presetCommand32776");
    ASSERT_NE(recall, nullptr);
    recall->trigger();
    EXPECT_EQ(recalledIndex, 2);
    EXPECT_EQ(state_.input[2].dynamics.compRatio, 100);
    EXPECT_EQ(state_.input[2].dynamics.compGain, 200);

    QString offered;
    list.setNamePrompt([&](QWidget*, const QString& current) -> std::optional<QString> {
        offered = current;
        return QStringLiteral("Pastor's");
    });
    list.runMenuCommand(32775);
    EXPECT_EQ(offered, "SAVE1");
    EXPECT_EQ(items(list), (QStringList{"SAVE PRESET", "1:Pastor's", "2:SAVE2"}));
    EXPECT_EQ(list.selection(), 0);

    list.setNamePrompt([](QWidget*, const QString&) { return std::optional<QString>(); });
    list.setSelection(2);
    list.runMenuCommand(32775); // cancelled: nothing changes
    EXPECT_EQ(items(list), (QStringList{"SAVE PRESET", "1:Pastor's", "2:SAVE2"}));

    list.setSelection(2);
    list.runMenuCommand(32777);
    EXPECT_EQ(items(list), (QStringList{"SAVE PRESET", "1:Pastor's"}));
    EXPECT_TRUE(shown_.empty());
}

// Without an injected prompt the shell's name dialog asks, pre-filled with the old name.
TEST_F(PresetListTest, RenameGoesThroughTheNameDialog) {
    PresetList list(1009, PresetBlock::Geq);
    list.bind(&store_, &state_);
    list.fill();
    emit list.itemChosen(1009, 0);
    list.itemMenu()->hide();
    list.setSelection(1);
    QString prefilled;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "nameDialog" && w->isVisible()) {
                auto* field = w->findChild<QLineEdit*>("nameField");
                prefilled = field->text();
                field->setText(QStringLiteral("舞台"));
                w->findChild<QPushButton*>("nameOk")->click();
            }
        }
    });
    list.runMenuCommand(32771);
    EXPECT_EQ(prefilled, "SAVE1");
    EXPECT_EQ(items(list), (QStringList{"SAVE PRESET", "1:舞台"}));
}

} // namespace
} // namespace quorvel
