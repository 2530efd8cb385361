// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/pdf/CairoPdfCanvas.h"

#include "ops/export/pdf/TextDirections.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPageSize>

#include <cairo-pdf.h>
#include <cairo.h>
#include <cmath>
#include <cstring>
#include <hb-ot.h>
#include <memory>
#include <pango/pangocairo.h>
#include <vector>

namespace {

// Colour glyphs are drawn from pictures of this many pixels per em: 384 per inch at the pages'
// 12 points, sharp in print. Every file compresses its own copy of each picture, which at twice the
// size took a sixth of the export's time for nothing a reader can see.
constexpr double glyphPictureEm = 64;
// Pictures that are not JPEG files taken as they are get at most this resolution on the page.
constexpr double pictureDotsPerInch = 300;

struct GlyphPicture
{
    cairo_font_face_t* face = nullptr; // a reference held for the key of the picture
    cairo_surface_t* surface = nullptr; // null for a glyph without ink
    double left = 0; // from the glyph's origin, in ems
    double top = 0;
};

// What one thread keeps from one file to the next: pango's fonts (a font map serves one thread)
// and the pictures of the colour glyphs drawn so far.
class ThreadFonts
{
public:
    ThreadFonts()
    {
        m_fontMap = pango_cairo_font_map_new();
        m_context = pango_font_map_create_context(m_fontMap);
        // Points as units, and the outlines' own advances: the pages are not drawn on a screen.
        pango_cairo_context_set_resolution(m_context, 72);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(m_context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(m_context, FALSE);
    }

    ~ThreadFonts()
    {
        for (const GlyphPicture& picture : std::as_const(m_glyphPictures)) {
            if (picture.surface)
                cairo_surface_destroy(picture.surface);
            cairo_font_face_destroy(picture.face);
        }
        for (auto it = m_marks.cbegin(); it != m_marks.cend(); ++it)
            cairo_font_face_destroy(it.value().face);
        g_object_unref(m_context);
        g_object_unref(m_fontMap);
    }

    static ThreadFonts& instance()
    {
        thread_local ThreadFonts fonts;
        return fonts;
    }

    PangoContext* context() const { return m_context; }

    bool isColourFont(PangoFont* font)
    {
        hb_face_t* face = hb_font_get_face(pango_font_get_hb_font(font));
        auto known = m_colourFaces.constFind(face);
        if (known == m_colourFaces.cend())
            known = m_colourFaces.insert(face, hb_ot_color_has_png(face) || hb_ot_color_has_layers(face));
        return known.value();
    }

    const GlyphPicture& glyphPicture(cairo_font_face_t* face, unsigned glyph)
    {
        const QPair<const void*, unsigned> key(face, glyph);
        auto known = m_glyphPictures.constFind(key);
        if (known != m_glyphPictures.cend())
            return known.value();
        GlyphPicture picture = paintGlyph(face, glyph);
        picture.face = cairo_font_face_reference(face);
        return m_glyphPictures.insert(key, picture).value();
    }

    // A glyph with ink from an ordinary font, for the invisible mark under a colour glyph.
    struct Mark
    {
        cairo_font_face_t* face = nullptr;
        unsigned long glyph = 0;
        double advance = 0; // in ems
    };

    const Mark& mark(const PangoFontDescription* description)
    {
        const QString key = QString::fromUtf8(pango_font_description_get_family(description));
        auto known = m_marks.constFind(key);
        if (known != m_marks.cend())
            return known.value();
        Mark mark;
        PangoFontDescription* sized = pango_font_description_copy(description);
        pango_font_description_set_size(sized, PANGO_SCALE);
        if (PangoFont* font = pango_context_load_font(m_context, sized)) {
            cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
            cairo_glyph_t* glyphs = nullptr;
            int count = 0;
            if (scaled
                && cairo_scaled_font_text_to_glyphs(scaled, 0, 0, ".", 1, &glyphs, &count, nullptr, nullptr, nullptr)
                    == CAIRO_STATUS_SUCCESS
                && count == 1) {
                cairo_text_extents_t extents;
                cairo_scaled_font_glyph_extents(scaled, glyphs, 1, &extents);
                mark.face = cairo_font_face_reference(cairo_scaled_font_get_font_face(scaled));
                mark.glyph = glyphs[0].index;
                mark.advance = extents.x_advance > 0 ? extents.x_advance : 1;
            }
            cairo_glyph_free(glyphs);
            g_object_unref(font);
        }
        pango_font_description_free(sized);
        return m_marks.insert(key, mark).value();
    }

private:
    static GlyphPicture paintGlyph(cairo_font_face_t* face, unsigned glyph)
    {
        GlyphPicture picture;
        cairo_matrix_t size;
        cairo_matrix_init_scale(&size, glyphPictureEm, glyphPictureEm);
        cairo_matrix_t identity;
        cairo_matrix_init_identity(&identity);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &size, &identity, options);
        cairo_font_options_destroy(options);
        cairo_glyph_t drawn { glyph, 0, 0 };
        cairo_text_extents_t extents;
        cairo_scaled_font_glyph_extents(scaled, &drawn, 1, &extents);
        const int width = int(std::ceil(extents.width)) + 2;
        const int height = int(std::ceil(extents.height)) + 2;
        if (cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS && extents.width > 0 && extents.height > 0) {
            picture.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
            cairo_t* cairo = cairo_create(picture.surface);
            cairo_set_scaled_font(cairo, scaled);
            drawn.x = 1 - extents.x_bearing;
            drawn.y = 1 - extents.y_bearing;
            cairo_show_glyphs(cairo, &drawn, 1);
            cairo_destroy(cairo);
            picture.left = (extents.x_bearing - 1) / glyphPictureEm;
            picture.top = (extents.y_bearing - 1) / glyphPictureEm;
        }
        cairo_scaled_font_destroy(scaled);
        return picture;
    }

    PangoFontMap* m_fontMap = nullptr;
    PangoContext* m_context = nullptr;
    QHash<const hb_face_t*, bool> m_colourFaces;
    QHash<QPair<const void*, unsigned>, GlyphPicture> m_glyphPictures;
    QHash<QString, Mark> m_marks;
};

class PangoPageText : public PageText
{
public:
    PangoPageText(PangoLayout* layout, const PangoFontDescription* font)
        : m_layout(layout)
        , m_font(font)
    {
        PangoLayoutIter* lines = pango_layout_get_iter(m_layout);
        do {
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(lines, nullptr, &logical);
            m_lineTops.push_back(double(logical.y) / PANGO_SCALE);
        } while (pango_layout_iter_next_line(lines));
        pango_layout_iter_free(lines);
        PangoRectangle whole;
        pango_layout_get_extents(m_layout, nullptr, &whole);
        m_lineTops.push_back(double(whole.y + whole.height) / PANGO_SCALE);
    }
    ~PangoPageText() override { g_object_unref(m_layout); }

    int lineCount() const override { return int(m_lineTops.size()) - 1; }
    double lineTop(int line) const override { return m_lineTops.at(size_t(line)); }

    PangoLayout* layout() const { return m_layout; }
    const PangoFontDescription* font() const { return m_font; }

private:
    PangoLayout* m_layout;
    const PangoFontDescription* m_font;
    std::vector<double> m_lineTops;
};

void setColour(cairo_t* cairo, const QColor& colour)
{
    cairo_set_source_rgb(cairo, colour.redF(), colour.greenF(), colour.blueF());
}

// A run of colour glyphs: each glyph as its picture, over a mark that maps the run's characters.
void drawColourRun(cairo_t* cairo, PangoLayoutRun* run, const char* text, const PangoFontDescription* textFont,
    double x, double baseline)
{
    ThreadFonts& fonts = ThreadFonts::instance();
    cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(run->item->analysis.font));
    if (!scaled)
        return;
    cairo_font_face_t* face = cairo_scaled_font_get_font_face(scaled);
    cairo_matrix_t fontMatrix;
    cairo_scaled_font_get_font_matrix(scaled, &fontMatrix);
    const double em = fontMatrix.yy;
    const double width = double(pango_glyph_string_get_width(run->glyphs)) / PANGO_SCALE;

    const ThreadFonts::Mark& mark = fonts.mark(textFont);
    if (mark.face && width > 0) {
        cairo_save(cairo);
        cairo_set_source_rgb(cairo, 1, 1, 1);
        cairo_translate(cairo, x, baseline);
        cairo_scale(cairo, width / (mark.advance * em), 1);
        cairo_set_font_face(cairo, mark.face);
        cairo_set_font_size(cairo, em);
        const cairo_glyph_t glyph { mark.glyph, 0, 0 };
        const cairo_text_cluster_t cluster { run->item->length, 1 };
        cairo_show_text_glyphs(
            cairo, text + run->item->offset, run->item->length, &glyph, 1, &cluster, 1, cairo_text_cluster_flags_t(0));
        cairo_restore(cairo);
    }

    double glyphX = x;
    for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& info = run->glyphs->glyphs[i];
        if (info.glyph != PANGO_GLYPH_EMPTY && !(info.glyph & PANGO_GLYPH_UNKNOWN_FLAG)) {
            const GlyphPicture& picture = fonts.glyphPicture(face, info.glyph);
            if (picture.surface) {
                cairo_save(cairo);
                cairo_translate(cairo, glyphX + double(info.geometry.x_offset) / PANGO_SCALE + picture.left * em,
                    baseline + double(info.geometry.y_offset) / PANGO_SCALE + picture.top * em);
                cairo_scale(cairo, em / glyphPictureEm, em / glyphPictureEm);
                cairo_set_source_surface(cairo, picture.surface, 0, 0);
                cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
                cairo_paint(cairo);
                cairo_restore(cairo);
            }
        }
        glyphX += double(info.geometry.width) / PANGO_SCALE;
    }
}

bool hasColourRun(PangoLayoutLine* line, ThreadFonts& fonts)
{
    for (GSList* item = line->runs; item; item = item->next) {
        const auto* run = static_cast<PangoLayoutRun*>(item->data);
        if (fonts.isColourFont(run->item->analysis.font))
            return true;
    }
    return false;
}

// A JPEG file goes into the PDF as it is; the pixels of the surface are never read.
cairo_surface_t* jpegSurface(const QString& path, const QSize& pixels)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    auto* data = static_cast<unsigned char*>(malloc(size_t(bytes.size())));
    if (!data)
        return nullptr;
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixels.width(), pixels.height());
    if (cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_JPEG, data, (unsigned long)bytes.size(), free, data)
        != CAIRO_STATUS_SUCCESS) {
        free(data);
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

cairo_surface_t* pixelSurface(QImageReader& reader, const QRectF& target)
{
    reader.setAutoTransform(true);
    QSize pixels = reader.size();
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        pixels.transpose();
    const QSize most((target.size() * pictureDotsPerInch / 72).toSize());
    if (pixels.width() > most.width() || pixels.height() > most.height()) {
        pixels.scale(most.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            reader.setScaledSize(pixels.transposed());
        else
            reader.setScaledSize(pixels);
    }
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width(), image.height());
    cairo_surface_flush(surface);
    unsigned char* rows = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; rows && y < image.height(); ++y)
        std::memcpy(rows + qsizetype(y) * stride, image.constScanLine(y), size_t(image.width()) * 4);
    cairo_surface_mark_dirty(surface);
    return surface;
}

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length)
{
    auto* output = static_cast<CairoPdfCanvas::Output*>(closure);
    if (output->failed || !output->sink(reinterpret_cast<const char*>(data), qsizetype(length))) {
        output->failed = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

// One line at its baseline; runs of colour glyphs each on their own.
void drawLine(cairo_t* cairo, PangoLayoutLine* line, const char* utf8, const PangoFontDescription* textFont, double x,
    double baseline, const QColor& colour)
{
    ThreadFonts& fonts = ThreadFonts::instance();
    if (!hasColourRun(line, fonts)) {
        cairo_move_to(cairo, x, baseline);
        pango_cairo_show_layout_line(cairo, line);
        return;
    }
    for (GSList* item = line->runs; item; item = item->next) {
        auto* run = static_cast<PangoLayoutRun*>(item->data);
        if (fonts.isColourFont(run->item->analysis.font)) {
            drawColourRun(cairo, run, utf8, textFont, x, baseline);
            setColour(cairo, colour);
        } else {
            cairo_move_to(cairo, x, baseline);
            pango_cairo_show_glyph_item(cairo, utf8, run);
        }
        x += double(pango_glyph_string_get_width(run->glyphs)) / PANGO_SCALE;
    }
}

QSizeF a4()
{
    return QPageSize::size(QPageSize::A4, QPageSize::Point);
}

void setMetadata(cairo_surface_t* surface, cairo_pdf_metadata_t key, const QString& value)
{
    if (!value.isEmpty())
        cairo_pdf_surface_set_metadata(surface, key, value.toUtf8().constData());
}

} // namespace

CairoPdfCanvas::CairoPdfCanvas(Sink sink, const PdfMetadata& metadata, const QString& fontFamily)
    : m_output { std::move(sink), false }
{
    const QSizeF paper = a4();
    m_surface = cairo_pdf_surface_create_for_stream(writeToSink, &m_output, paper.width(), paper.height());
    setMetadata(m_surface, CAIRO_PDF_METADATA_TITLE, metadata.title);
    setMetadata(m_surface, CAIRO_PDF_METADATA_AUTHOR, metadata.author);
    setMetadata(m_surface, CAIRO_PDF_METADATA_SUBJECT, metadata.subject);
    setMetadata(m_surface, CAIRO_PDF_METADATA_CREATOR, QStringLiteral("Quillbarrow SMS Desk"));
    if (metadata.created.isValid())
        setMetadata(m_surface, CAIRO_PDF_METADATA_CREATE_DATE, metadata.created.toString(Qt::ISODate));
    m_cairo = cairo_create(m_surface);

    const QByteArray family = fontFamily.toUtf8();
    m_bodyFont = pango_font_description_new();
    pango_font_description_set_family(m_bodyFont, family.constData());
    pango_font_description_set_size(m_bodyFont, int(pageLayout::textSize * PANGO_SCALE));
    m_titleFont = pango_font_description_copy(m_bodyFont);
    pango_font_description_set_size(m_titleFont, int(pageLayout::titleSize * PANGO_SCALE));
    pango_font_description_set_weight(m_titleFont, PANGO_WEIGHT_BOLD);
}

CairoPdfCanvas::~CairoPdfCanvas()
{
    cairo_destroy(m_cairo);
    // A canvas that was not finished leaves its file incomplete; nothing more is written.
    if (!m_finished)
        m_output.failed = true;
    cairo_surface_destroy(m_surface);
    pango_font_description_free(m_bodyFont);
    pango_font_description_free(m_titleFont);
}

bool CairoPdfCanvas::finish()
{
    const bool drawn = cairo_status(m_cairo) == CAIRO_STATUS_SUCCESS;
    cairo_surface_finish(m_surface);
    m_finished = true;
    return drawn && cairo_surface_status(m_surface) == CAIRO_STATUS_SUCCESS && !m_output.failed;
}

QSizeF CairoPdfCanvas::printableSize() const
{
    const double margins = 2 * pageLayout::printerMargin;
    return a4() - QSizeF(margins, margins);
}

std::unique_ptr<PageText> CairoPdfCanvas::layoutText(
    const QString& text, PageTextStyle style, PageTextAlign align, double width)
{
    PangoLayout* layout = pango_layout_new(ThreadFonts::instance().context());
    const PangoFontDescription* font = style == PageTextStyle::Title ? m_titleFont : m_bodyFont;
    pango_layout_set_font_description(layout, font);
    pango_layout_set_width(layout, int(width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, align == PageTextAlign::Right ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT);
    const QByteArray utf8 = withResolvedDirections(text).toUtf8();
    pango_layout_set_text(layout, utf8.constData(), int(utf8.size()));
    return std::make_unique<PangoPageText>(layout, font);
}

void CairoPdfCanvas::beginPage()
{
    cairo_save(m_cairo);
    cairo_translate(m_cairo, pageLayout::printerMargin, pageLayout::printerMargin);
}

void CairoPdfCanvas::endPage()
{
    cairo_restore(m_cairo);
    cairo_show_page(m_cairo);
}

void CairoPdfCanvas::drawText(const PageText& text, int firstLine, int endLine, QPointF topLeft, const QColor& colour)
{
    const auto& laidOut = static_cast<const PangoPageText&>(text);
    const char* utf8 = pango_layout_get_text(laidOut.layout());
    const double top = topLeft.y() - laidOut.lineTop(firstLine);
    setColour(m_cairo, colour);
    PangoLayoutIter* lines = pango_layout_get_iter(laidOut.layout());
    for (int index = 0; index < endLine; ++index) {
        if (index >= firstLine) {
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(lines, nullptr, &logical);
            drawLine(m_cairo, pango_layout_iter_get_line_readonly(lines), utf8, laidOut.font(),
                topLeft.x() + double(logical.x) / PANGO_SCALE,
                top + double(pango_layout_iter_get_baseline(lines)) / PANGO_SCALE, colour);
        }
        if (!pango_layout_iter_next_line(lines))
            break;
    }
    pango_layout_iter_free(lines);
}

void CairoPdfCanvas::drawPicture(const QString& path, const QRectF& target)
{
    QImageReader reader(path);
    const QSize pixels = reader.size();
    if (pixels.isEmpty() || target.isEmpty())
        return;
    cairo_surface_t* surface = nullptr;
    if (reader.format() == "jpeg" && reader.transformation() == QImageIOHandler::TransformationNone)
        surface = jpegSurface(path, pixels);
    if (!surface)
        surface = pixelSurface(reader, target);
    if (!surface)
        return;
    cairo_save(m_cairo);
    cairo_translate(m_cairo, target.x(), target.y());
    cairo_scale(m_cairo, target.width() / cairo_image_surface_get_width(surface),
        target.height() / cairo_image_surface_get_height(surface));
    cairo_set_source_surface(m_cairo, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(m_cairo), CAIRO_FILTER_GOOD);
    cairo_paint(m_cairo);
    cairo_restore(m_cairo);
    cairo_surface_destroy(surface);
}

void CairoPdfCanvas::drawRule(double left, double right, double y)
{
    cairo_save(m_cairo);
    setColour(m_cairo, pageLayout::headingColour);
    cairo_set_line_width(m_cairo, 0.5);
    cairo_move_to(m_cairo, left, y);
    cairo_line_to(m_cairo, right, y);
    cairo_stroke(m_cairo);
    cairo_restore(m_cairo);
}
