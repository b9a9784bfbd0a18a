// QtDropData: what a Qt drop carried, as the logic's opaque DropData.
#pragma once

#include <QList>
#include <QMimeData>
#include <QUrl>

#include "desktop_services.h"

// A copy of the addresses a drop carried: the drop's own data is gone once the drop is over,
// and the handler runs after that.
class QtDropData final : public DropData {
public:
    explicit QtDropData(const QMimeData& mime_data)
        : urls_(mime_data.hasUrls() ? mime_data.urls() : QList<QUrl>{}) {}
    const QList<QUrl>& Urls() const { return urls_; }

private:
    QList<QUrl> urls_;
};
