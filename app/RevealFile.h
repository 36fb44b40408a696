#pragma once
// Shows a file in the desktop's file manager, selected in its folder.
#include <QString>

namespace sw {

// Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems) without
// waiting for it; when there is no session bus or no file manager answers, the folder is
// opened with the desktop's default handler instead.
void RevealFile(const QString& path);

}  // namespace sw
