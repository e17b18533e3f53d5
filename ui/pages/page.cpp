#include "pages/page.h"

namespace quorvel::ui {

Page::Page(DeviceState& state, QWidget* parent) : QWidget(parent), state_(state) {}

} // namespace quorvel::ui
