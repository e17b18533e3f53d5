#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {
int gLanguageFlag = kEnglish;
}

int languageFlag() {
    return gLanguageFlag;
}
void setLanguageFlag(int flag) {
    gLanguageFlag = flag == kChinese ? kChinese : kEnglish;
}

} // namespace quorvel::ui
