// config_product.xml: the device type (holding register 40000) to the
// product title, which names the product's folders (iconfigs/<title>/,
// help/<title>/) and the window title.
#pragma once

#include <QString>

namespace productTable {

// Looks the device type up. Returns -1 when the file cannot be opened and -2
// when it cannot be parsed or is nested too deeply, else 0. At the first Item
// of an Items element whose Value equals the device type, stores its
// DeviceType text in *title and sets *found; otherwise *found is false and
// *title is not touched.
int findTitle(const QString& fileName, quint16 deviceType, QString* title, bool* found);

// Whether a title can name a folder: one path component, not "." or "..".
bool isSingleComponent(const QString& name);

}  // namespace productTable
