// Routes the change notification of one EditController to the bindings that show the changed
// fields. The lookup is by field id, so a report that touches three fields wakes three fields'
// bindings, whatever the number of strips and pages.
#pragma once

#include <QObject>

#include <cstdint>
#include <vector>

#include "link/change_set.h"

namespace quorvel::ui {

class EditController;
class FieldBinding;

class FieldHub : public QObject {
    Q_OBJECT
public:
    // The hub of this controller, created on first use as its child: every page of the window
    // shares it without being handed one.
    static FieldHub& of(EditController& edits);

    std::size_t bindingCount() const { return all_.size(); }

private:
    explicit FieldHub(EditController& edits);
    friend class FieldBinding;

    void attach(FieldBinding* b);
    void detach(FieldBinding* b);
    void index(FieldBinding* b);
    void unindex(FieldBinding* b);
    void dispatch(const ChangeSet& changes);

    std::vector<std::vector<FieldBinding*>> byField_; // indexed by FieldId
    std::vector<FieldBinding*> all_;                  // registration order, for ChangeSet::everything()
    std::uint64_t pass_ = 0;
};

} // namespace quorvel::ui
