// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>

// Small pictures of image files for the transcript. Each file is decoded once, scaled while it is
// read, on a thread of the cache's own pool, never on the GUI thread; the pictures are kept up to a
// fixed number of bytes, the least recently used going first.
class ThumbnailCache : public QObject
{
    Q_OBJECT

public:
    // Thumbnails fit into this box, keeping the picture's proportions; smaller pictures keep their size.
    static constexpr int maxSide = 220;

    explicit ThumbnailCache(QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The thumbnail of the file when it is ready; otherwise a null image, and the file is decoded in the
    // background (once: a file that is no readable picture is not tried again) and thumbnailReady follows.
    QImage thumbnail(const QString& path);
    bool hasFailed(const QString& path) const { return m_failed.contains(path); }

signals:
    void thumbnailReady(const QString& path);

private:
    void store(const QString& path, const QImage& image);

    QThreadPool m_pool;
    QCache<QString, QImage> m_images;
    QSet<QString> m_pending;
    QSet<QString> m_failed;
};
