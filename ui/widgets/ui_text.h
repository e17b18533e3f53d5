// Every visible text exists in English and Chinese; the process-wide language flag picks one.
#pragma once

#include <QString>

namespace quorvel::ui {

inline constexpr int kEnglish = 1;
inline constexpr int kChinese = 2;

// The flag the whole process runs with; set once from the command line before any window exists.
int languageFlag();
void setLanguageFlag(int flag);

inline QString pick(int lang, const char* en, const char* zh) {
    return QString::fromUtf8(lang == kChinese ? zh : en);
}
inline QString pick(const char* en, const char* zh) {
    return pick(languageFlag(), en, zh);
}

// The readout and value fields use this family; falls back to the default sans serif when absent.
inline constexpr const char* kUiFontFamily = "WenQuanYi Micro Hei";

} // namespace quorvel::ui
