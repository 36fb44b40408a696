#pragma once
// The look of the program's link labels: navy and underlined, showing the address itself.
#include <QString>

namespace sw {

inline QString LinkText(const QString& caption) {
  return QString("<a href=\"link\" style=\"color:#000080; text-decoration:underline\">%1</a>")
      .arg(caption.toHtmlEscaped());
}

}  // namespace sw
