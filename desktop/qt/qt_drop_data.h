// QtDropData: a Qt drop's data as the logic's opaque DropData.
#pragma once

#include <QMimeData>

#include "desktop_services.h"

// Valid only while the drop event that made it is being handled.
class QtDropData final : public DropData {
public:
    explicit QtDropData(const QMimeData& mime_data) : mime_data_(mime_data) {}
    const QMimeData& MimeData() const { return mime_data_; }

private:
    const QMimeData& mime_data_;
};
