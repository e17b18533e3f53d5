// The SHOW tab: SAVE and the 32 scene slots, each with its NAME / RECALL / DELETE menu. The
// rules (IDs, files, the size check) are the scene library's; this only lays them out.
#pragma once

#include <QWidget>

#include <array>
#include <memory>
#include <string_view>

#include "pages/page_context.h"

namespace quorvel {
class ImageButton;
class PresetStore;
class SceneLibrary;
struct SceneResult;
} // namespace quorvel

namespace quorvel::ui {

class UploadRunner;

class ScenePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlots = 32;
    // The panel starts below the page's tab buttons; its controls are placed in page coordinates.
    static constexpr int kTop = 90;

    ScenePanel(const PageContext& ctx, UploadRunner& upload, QWidget* parent);
    ~ScenePanel() override;

    // Scenes need the preset store; until it is given SAVE says so and no slot shows.
    void setStore(PresetStore* store);
    void setLanguage(int languageFlag);
    // Lists the table again: a slot per row, captioned "ID:NAME".
    void listScenes();

    ImageButton* saveButton() const { return save_; }
    ImageButton* slot(int i) const { return slots_[static_cast<std::size_t>(i)]; }

    // The menu's commands, by scene ID.
    void save();
    void rename(int id, const QString& name);
    void recall(int id);
    // A remote client's recall, by ID or name: the same steps, the refusal returned, not shown.
    SceneResult recallFor(std::string_view idOrName);
    void remove(int id);

private:
    void openMenu(int id);
    void report(const SceneResult& r);
    SceneResult recallQuietly(int id, bool remote);

    const PageContext& ctx_;
    UploadRunner& upload_;
    std::unique_ptr<SceneLibrary> library_;
    ImageButton* save_;
    std::array<ImageButton*, kSlots> slots_{};
    std::array<QString, kSlots> names_;
};

} // namespace quorvel::ui
