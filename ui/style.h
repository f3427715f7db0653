#pragma once

#include <QString>
#include <optional>

namespace quillane::ui {

// The look the program starts with.
inline constexpr char16_t kStyleName[] = u"Silver";

// Where the embedded styles live: one style sheet per style, named after it (".qss").
inline constexpr char16_t kStyleDirectory[] = u":/styles";

// The style sheet of the style `name` in `directory`, its name matched without regard to letter
// case; nothing when there is no such style.
std::optional<QString> FindStyleSheet(
    const QString& name, const QString& directory = QString::fromUtf16(kStyleDirectory));

// Applies the style `name` to every window and dialog. When it is missing, says so in a modal
// error box ("Style '<name>' not found", Close) and leaves the system's look; returns false.
bool ApplyStyle(const QString& name,
                const QString& directory = QString::fromUtf16(kStyleDirectory));

}  // namespace quillane::ui
