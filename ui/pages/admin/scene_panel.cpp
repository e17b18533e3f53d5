#include "pages/admin/scene_panel.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QStandardPaths>

#include "admin/scene_library.h"
#include "binding/edit_controller.h"
#include "controls/image_button.h"
#include "log/event_log.h"
#include "pages/admin/upload_runner.h"
#include "presets/preset_store.h"
#include "session/app_profile.h"
#include "widgets/name_dialog.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

ImageButton* makeSceneButton(QWidget* parent, const QString& objectName, int x, int y) {
    auto* b = new ImageButton(0, parent);
    b->setObjectName(objectName);
    b->setSizeMode(-1);
    b->setImages(220, 219);
    b->setGeometry(x, y - ScenePanel::kTop, 50, 50);
    return b;
}

bool moveToTrash(const std::filesystem::path& file, std::string& error) {
    // Without its data directory the platform falls back to a trash relative to the working
    // directory and still reports success: the directory is made first, and a relative result
    // is taken back.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const QString original = QString::fromStdString(file.string());
    QFile f(original);
    if (!f.moveToTrash()) {
        error = f.errorString().toStdString();
        return false;
    }
    if (QFileInfo(f.fileName()).isAbsolute() && QFileInfo(f.fileName()).absolutePath().contains("Trash"))
        return true;
    QFile::rename(f.fileName(), original);
    error = "the desktop has no usable trash";
    return false;
}

} // namespace

ScenePanel::ScenePanel(const PageContext& ctx, UploadRunner& upload, QWidget* parent)
    : QWidget(parent), ctx_(ctx), upload_(upload) {
    setObjectName("scenePanel");
    setAttribute(Qt::WA_TranslucentBackground);
    save_ = makeSceneButton(this, "sceneSave", 100, 150);
    connect(save_, &ImageButton::clicked, this, [this] { save(); });
    for (int i = 0; i < kSlots; ++i) {
        auto* b = makeSceneButton(this, QStringLiteral("sceneSlot%1").arg(i + 1), 220 + 60 * (i % 8),
                                  150 + 60 * (i / 8));
        b->hide();
        connect(b, &ImageButton::clicked, this, [this, i] { openMenu(i + 1); });
        slots_[static_cast<std::size_t>(i)] = b;
    }
    setLanguage(languageFlag());
}

ScenePanel::~ScenePanel() = default;

void ScenePanel::setStore(PresetStore* store) {
    library_.reset();
    if (store)
        library_ = std::make_unique<SceneLibrary>(*store, ctx_.profile.dataDir().toStdString(), moveToTrash);
    listScenes();
}

void ScenePanel::setLanguage(int lang) {
    save_->setText(pick(lang, "SAVE", "保存"));
}

void ScenePanel::listScenes() {
    for (ImageButton* b : slots_)
        b->hide();
    if (!library_) return;
    for (const SceneSlot& s : library_->list()) {
        ImageButton* b = slots_[static_cast<std::size_t>(s.id - 1)];
        names_[static_cast<std::size_t>(s.id - 1)] = QString::fromStdString(s.name);
        b->setText(QString::fromStdString(s.caption()));
        b->setToolTip(QString::fromStdString(s.caption()));
        b->show();
    }
}

void ScenePanel::report(const SceneResult& r) {
    QString text;
    switch (r.status) {
    case SceneStatus::Ok:
        return;
    case SceneStatus::Full:
        text = pick(kScenesFullMessage, kScenesFullMessageZh);
        break;
    case SceneStatus::Database:
        return; // the store has shown its own message
    case SceneStatus::Damaged:
        text = pick("Scene %1 is not a scene file; nothing was changed.\n%2",
                    "场景 %1 的文件已损坏, 未做任何更改.\n%2")
                   .arg(r.id)
                   .arg(QString::fromStdString(r.message));
        break;
    case SceneStatus::NoSuchId:
    case SceneStatus::FileError:
        text = QString::fromStdString(r.message);
        break;
    }
    showMessage(this, text, pick("SHOW", "演出"), "sceneRefused");
}

void ScenePanel::save() {
    if (!library_) {
        showMessage(this, pick("The scene list is not open.", "场景列表未打开."), pick("SHOW", "演出"),
                    "sceneRefused");
        return;
    }
    const SceneResult r = library_->save(ctx_.state);
    if (r.ok()) logEvent("Scene " + std::to_string(r.id) + " saved");
    report(r);
    listScenes();
}

void ScenePanel::openMenu(int id) {
    auto* menu = new QMenu(this);
    menu->setObjectName("sceneMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* name = menu->addAction(QStringLiteral("NAME"));
    name->setObjectName("actionName");
    QAction* recallAction = menu->addAction(QStringLiteral("RECALL"));
    recallAction->setObjectName("actionRecall");
    QAction* deleteAction = menu->addAction(QStringLiteral("DELETE"));
    deleteAction->setObjectName("actionDelete");
    connect(name, &QAction::triggered, this, [this, id] {
        auto* dialog = new NameDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setName(names_[static_cast<std::size_t>(id - 1)]);
        connect(dialog, &QDialog::accepted, this, [this, dialog, id] { rename(id, dialog->name()); });
        dialog->open();
    });
    connect(recallAction, &QAction::triggered, this, [this, id] { recall(id); });
    connect(deleteAction, &QAction::triggered, this, [this, id] { remove(id); });
    menu->popup(QCursor::pos());
}

void ScenePanel::rename(int id, const QString& name) {
    if (!library_) return;
    const SceneResult r = library_->rename(id, name.toStdString());
    if (r.ok()) logEvent("Scene " + std::to_string(id) + " renamed: " + name.toStdString());
    report(r);
    listScenes();
}

void ScenePanel::recall(int id) {
    if (!library_) return;
    if (upload_.running()) {
        showMessage(this, pick("The device is still receiving the settings.", "设备仍在接收设置."),
                    pick("SHOW", "演出"), "sceneRefused");
        return;
    }
    const SceneResult r = recallQuietly(id, false);
    if (!r.ok()) report(r);
}

SceneResult ScenePanel::recallFor(std::string_view idOrName) {
    SceneResult r;
    r.status = SceneStatus::NoSuchId;
    if (!library_) {
        r.message = "The preset store is not open yet.";
        return r;
    }
    if (upload_.running()) {
        r.status = SceneStatus::FileError;
        r.message = "The device is still receiving the settings.";
        return r;
    }
    for (const SceneSlot& slot : library_->list())
        if (std::to_string(slot.id) == idOrName || slot.name == idOrName) return recallQuietly(slot.id, true);
    r.message = "No scene \"" + std::string(idOrName) + "\".";
    return r;
}

SceneResult ScenePanel::recallQuietly(int id, bool remote) {
    const SceneResult r = library_->recall(id, ctx_.state);
    if (!r.ok()) return r;
    logEvent("Scene " + std::to_string(id) + " recalled" +
             (ctx_.state.link.linkOnline ? ", sending it to the device" : " (offline)"));
    // Undo puts the previous settings back and sends them as the recall sent these: in one transfer.
    UserOperation op;
    op.resend = [runner = QPointer<UploadRunner>(&upload_)](DeviceState&, EditSink&) {
        if (runner) runner->start();
    };
    op.en = "SCENE RECALL";
    op.zh = "场景调用";
    ctx_.edits.announceUser(ChangeSet::everything(), op, remote ? EditOrigin::Remote : EditOrigin::Surface);
    // Offline the model only changes and nothing is sent.
    if (ctx_.state.link.linkOnline && upload_.start()) {
        connect(
            &upload_, &UploadRunner::finished, this,
            [this, id](bool completed) {
                logEvent("Scene " + std::to_string(id) +
                         (completed ? " sent to the device" : " not sent: interrupted"));
                if (completed) return;
                showMessage(this,
                            pick("Scene %1 was loaded here, but sending it to the device was interrupted.",
                                 "场景 %1 已在本机载入, 但发送到设备时被中断.")
                                .arg(id),
                            pick("SHOW", "演出"), "sceneUploadInterrupted");
            },
            Qt::SingleShotConnection);
    }
    return r;
}

void ScenePanel::remove(int id) {
    if (!library_) return;
    const SceneResult r = library_->remove(id);
    if (r.ok()) logEvent("Scene " + std::to_string(id) + " deleted");
    report(r);
    listScenes();
}

} // namespace quorvel::ui
