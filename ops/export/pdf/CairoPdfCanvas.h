// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/export/pdf/PageCanvas.h"
#include "ops/export/pdf/PdfStreamCompression.h"

#include <QDateTime>
#include <QString>

#include <functional>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _PangoFontDescription PangoFontDescription;

// The document properties of a PDF file.
struct PdfMetadata
{
    QString title;
    QString author;
    QString subject;
    QDateTime created;
};

// A PDF file on A4 drawn with cairo, its texts laid out with pango: fonts embedded as subsets,
// every text extractable, each paragraph shaped and ordered in its own direction. Colour glyphs
// (emoji) are drawn as pictures at a resolution fit for print, over an invisible mark that carries
// their characters for text extraction. The fonts and pictures of the glyphs are kept per thread,
// so a thread can draw one file after the other without loading them again; one canvas is used by
// one thread only.
class CairoPdfCanvas : public PageCanvas
{
public:
    // Receives the bytes of the file in order; returns false when they could not be written.
    using Sink = std::function<bool(const char* data, qsizetype size)>;
    struct Output
    {
        Sink sink;
        bool failed = false;
    };

    CairoPdfCanvas(Sink sink, const PdfMetadata& metadata, const QString& fontFamily);
    ~CairoPdfCanvas() override;
    CairoPdfCanvas(const CairoPdfCanvas&) = delete;
    CairoPdfCanvas& operator=(const CairoPdfCanvas&) = delete;

    // Completes the file. False when drawing or writing failed at any point.
    bool finish();

    QSizeF printableSize() const override;
    std::unique_ptr<PageText> layoutText(
        const QString& text, PageTextStyle style, PageTextAlign align, double width) override;
    void beginPage() override;
    void endPage() override;
    void drawText(const PageText& text, int firstLine, int endLine, QPointF topLeft, const QColor& colour) override;
    void drawPicture(const QString& path, const QRectF& target) override;
    void drawRule(double left, double right, double y) override;

private:
    // First, so that it covers every stream cairo opens, up to the surface's destruction.
    FastStreamCompression m_fastCompression;
    Output m_output;
    bool m_finished = false;
    cairo_surface_t* m_surface = nullptr;
    cairo_t* m_cairo = nullptr;
    PangoFontDescription* m_bodyFont = nullptr;
    PangoFontDescription* m_titleFont = nullptr;
};
