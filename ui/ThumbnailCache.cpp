// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ThumbnailCache.h"

#include <QImageReader>

namespace {

// About a hundred thumbnails of the largest size: two pages of a transcript full of pictures.
constexpr qsizetype cacheBytes = 24 * 1024 * 1024;

QImage readScaled(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid()) {
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            size.transpose();
        if (size.width() > ThumbnailCache::maxSide || size.height() > ThumbnailCache::maxSide)
            size.scale(ThumbnailCache::maxSide, ThumbnailCache::maxSide, Qt::KeepAspectRatio);
        // Decoders that can scale while reading (JPEG) never hold the whole picture.
        reader.setScaledSize(size.expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return image;
    if (image.width() > ThumbnailCache::maxSide || image.height() > ThumbnailCache::maxSide)
        image = image.scaled(
            ThumbnailCache::maxSide, ThumbnailCache::maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ThumbnailCache::ThumbnailCache(QObject* parent)
    : QObject(parent)
    , m_images(cacheBytes)
{
    m_pool.setMaxThreadCount(1);
}

ThumbnailCache::~ThumbnailCache()
{
    m_pool.clear();
    m_pool.waitForDone();
}

QImage ThumbnailCache::thumbnail(const QString& path)
{
    if (const QImage* image = m_images.object(path))
        return *image;
    if (m_pending.contains(path) || m_failed.contains(path))
        return QImage();
    m_pending.insert(path);
    // The cache waits for its pool before it goes, so it is alive while a task runs; the queued call
    // runs on the cache's thread and is dropped with the cache.
    m_pool.start([this, path] {
        const QImage image = readScaled(path);
        QMetaObject::invokeMethod(
            this, [this, path, image] { store(path, image); }, Qt::QueuedConnection);
    });
    return QImage();
}

void ThumbnailCache::store(const QString& path, const QImage& image)
{
    m_pending.remove(path);
    if (image.isNull()) {
        m_failed.insert(path);
    } else {
        m_images.insert(path, new QImage(image), qMax<qsizetype>(1, image.sizeInBytes()));
    }
    emit thumbnailReady(path);
}
