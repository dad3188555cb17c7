// make_pictures: draws the seven pictures compiled into Tintwell and writes them as PNG files.
//
// A developer tool, not part of the program: the PNG files it writes are committed, and the build
// only embeds them. Run it again after changing a drawing below (see README.md in this folder):
//
//     make_pictures <sample photograph> <output folder>
//
// Everything is drawn from fixed geometry with a font file loaded by path, so a re-run on the same
// packages reproduces the same files. The PNG colour type follows the QImage format handed to the
// writer: RGB32 gives RGB (type 2), ARGB32 gives RGBA (type 6), Indexed8 gives palette (type 3).

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const char *const SansFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char *const SansBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// The colour panel behind the slider is this grey, so the strip's field matches it.
const QRgb PanelGrey = qRgb(0xE8, 0xE8, 0xE8);

// The sample pictures keep a black-to-white ramp in their bottom rows, which a dropped
// sample never covers; the toned sample thereby always shows the gradient itself.
const int SampleWidth = 256;
const int SampleHeight = 192;
const int RampTop = 172;

QString FontFamily(const char *path) {
    int id = QFontDatabase::addApplicationFont(QString::fromUtf8(path));
    if (id < 0) return QString();
    QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

bool Save(const QImage &image, const QString &folder, const char *name) {
    QString path = folder + "/" + QString::fromUtf8(name);
    // Quality 0 asks the PNG writer for its strongest compression.
    if (!image.save(path, "PNG", 0)) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

void DrawRamp(QImage &image) {
    for (int y = RampTop; y < SampleHeight; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < SampleWidth; ++x) row[x] = qRgb(x, x, x);
    }
}

// sRGB-encoded byte to linear light and back, for a grey of the same perceived brightness.
double Linear(int v) {
    double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
int Encoded(double l) {
    double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
    return std::clamp(static_cast<int>(std::lround(c * 255)), 0, 255);
}

// The photograph is scaled to fill 256 x 172 (cropping the sides evenly) and turned grey.
QImage MakeSample(const QImage &photo) {
    QImage out(SampleWidth, SampleHeight, QImage::Format_RGB32);
    int boxH = RampTop;
    int scaledW = (photo.width() * boxH + photo.height() - 1) / photo.height();
    int scaledH = boxH;
    if (scaledW < SampleWidth) {
        scaledW = SampleWidth;
        scaledH = (photo.height() * SampleWidth + photo.width() - 1) / photo.width();
    }
    QImage scaled = photo.convertToFormat(QImage::Format_RGB32)
                        .scaled(scaledW, scaledH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int x0 = (scaledW - SampleWidth) / 2, y0 = (scaledH - boxH) / 2;
    for (int y = 0; y < boxH; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(scaled.constScanLine(y + y0)) + x0;
        QRgb *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < SampleWidth; ++x) {
            double l = 0.2126 * Linear(qRed(src[x])) + 0.7152 * Linear(qGreen(src[x])) +
                       0.0722 * Linear(qBlue(src[x]));
            int g = Encoded(l);
            dst[x] = qRgb(g, g, g);
        }
    }
    DrawRamp(out);
    return out;
}

// The background a dropped sample is drawn onto: a plain mid grey above the same ramp.
QImage MakeSampleBackground() {
    QImage out(SampleWidth, SampleHeight, QImage::Format_RGB32);
    out.fill(qRgb(0x80, 0x80, 0x80));
    DrawRamp(out);
    return out;
}

// A sun: a disc and `rays` pointed rays, centred on (cx, cy). Used by the slider and the app icon.
QPainterPath SunRays(double cx, double cy, double inner, double outer, double halfWidth, int rays) {
    QPainterPath path;
    for (int i = 0; i < rays; ++i) {
        double a = 2 * M_PI * i / rays;
        double c = std::cos(a), s = std::sin(a);
        // A narrow triangle with its base on the inner circle, pointing outwards.
        path.moveTo(cx + c * outer, cy + s * outer);
        path.lineTo(cx + c * inner - s * halfWidth, cy + s * inner + c * halfWidth);
        path.lineTo(cx + c * inner + s * halfWidth, cy + s * inner - c * halfWidth);
        path.closeSubpath();
    }
    return path;
}

// 488 x 16: a grey groove over the whole width and a small sun at x = 244. The slider shows a
// 244-wide window of it, so the groove must run unbroken past either end of that window.
QImage MakeSliderStrip() {
    QImage out(488, 16, QImage::Format_RGB32);
    out.fill(PanelGrey);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.fillRect(QRectF(0, 6, 488, 4), QColor(0x9A, 0x9A, 0x9A));
    p.fillRect(QRectF(0, 6, 488, 1), QColor(0x80, 0x80, 0x80));
    p.fillRect(QRectF(0, 9, 488, 1), QColor(0xC4, 0xC4, 0xC4));
    // QPainter puts pixel edges on whole coordinates: x = 244.5 is the middle of column 244, and
    // y = 8.0 the middle of the four groove rows 6..9.
    const double cx = 244.5, cy = 8.0;
    p.setBrush(QColor(0xE0, 0x8A, 0x00));
    p.drawPath(SunRays(cx, cy, 4.2, 7.8, 1.3, 8));
    p.setPen(QPen(QColor(0xB0, 0x60, 0x00), 1.0));
    p.setBrush(QColor(0xFF, 0xC8, 0x20));
    p.drawEllipse(QPointF(cx, cy), 3.9, 3.9);
    p.end();
    return out;
}

// 319 x 25: the banner over the empty log, dark-grey antialiased text on transparency.
QImage MakeDropBanner(const QString &family) {
    QImage canvas(319, 25, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(family);
    font.setPixelSize(18);
    font.setHintingPreference(QFont::PreferNoHinting);
    p.setFont(font);
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.drawText(QRect(0, 0, 319, 25), Qt::AlignCenter, "Drop your image files here");
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

// 24 x 24: a filled circle with one white glyph, for the help and About buttons.
QImage MakeRoundIcon(const QString &boldFamily, const QString &glyph) {
    QImage canvas(24, 24, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(QColor(0x3C, 0x5A, 0x82), 1.0));
    p.setBrush(QColor(0x5A, 0x7F, 0xB0));
    p.drawEllipse(QPointF(12, 12), 11.0, 11.0);
    QFont font(boldFamily);
    font.setPixelSize(17);
    font.setHintingPreference(QFont::PreferNoHinting);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, glyph);
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

// Median-cut reduction of an ARGB image to at most 256 colours (transparency included), then
// nearest-colour mapping. Qt's own conversion to 8-bit ignores alpha, which would lose the
// icon's soft edge.
QImage ToPalette(const QImage &argb) {
    struct Entry {
        int v[4]; // a, r, g, b
        int count;
    };
    std::vector<Entry> colours;
    {
        std::vector<QRgb> all;
        for (int y = 0; y < argb.height(); ++y) {
            const QRgb *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x) {
                // Every fully transparent pixel is the same colour.
                all.push_back(qAlpha(row[x]) == 0 ? 0u : row[x]);
            }
        }
        std::sort(all.begin(), all.end());
        for (size_t i = 0; i < all.size();) {
            size_t j = i;
            while (j < all.size() && all[j] == all[i]) ++j;
            QRgb c = all[i];
            colours.push_back({{qAlpha(c), qRed(c), qGreen(c), qBlue(c)}, static_cast<int>(j - i)});
            i = j;
        }
    }
    struct Box {
        size_t begin, end;
    };
    std::vector<Box> boxes{{0, colours.size()}};
    auto spread = [&](const Box &b, int &axis) {
        int best = -1;
        for (int k = 0; k < 4; ++k) {
            int lo = 255, hi = 0;
            for (size_t i = b.begin; i < b.end; ++i) {
                lo = std::min(lo, colours[i].v[k]);
                hi = std::max(hi, colours[i].v[k]);
            }
            if (hi - lo > best) best = hi - lo, axis = k;
        }
        return best;
    };
    while (boxes.size() < 256) {
        // Split the box with the widest range along that axis, at its weighted median.
        int bestBox = -1, bestAxis = 0, bestSpread = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2) continue;
            int axis = 0;
            int s = spread(boxes[i], axis);
            if (s > bestSpread) bestSpread = s, bestBox = static_cast<int>(i), bestAxis = axis;
        }
        if (bestBox < 0) break;
        Box b = boxes[bestBox];
        std::sort(colours.begin() + b.begin, colours.begin() + b.end,
                  [&](const Entry &l, const Entry &r) {
                      if (l.v[bestAxis] != r.v[bestAxis]) return l.v[bestAxis] < r.v[bestAxis];
                      return std::lexicographical_compare(l.v, l.v + 4, r.v, r.v + 4);
                  });
        long total = 0, half = 0;
        for (size_t i = b.begin; i < b.end; ++i) total += colours[i].count;
        size_t cut = b.begin + 1;
        for (size_t i = b.begin; i < b.end - 1; ++i) {
            half += colours[i].count;
            cut = i + 1;
            if (half * 2 >= total) break;
        }
        boxes[bestBox] = {b.begin, cut};
        boxes.push_back({cut, b.end});
    }
    QList<QRgb> table;
    for (const Box &b : boxes) {
        double sum[4] = {0, 0, 0, 0};
        long n = 0;
        for (size_t i = b.begin; i < b.end; ++i) {
            for (int k = 0; k < 4; ++k) sum[k] += double(colours[i].v[k]) * colours[i].count;
            n += colours[i].count;
        }
        int v[4];
        for (int k = 0; k < 4; ++k) v[k] = static_cast<int>(std::lround(sum[k] / n));
        table.push_back(qRgba(v[1], v[2], v[3], v[0]));
    }
    QImage out(argb.size(), QImage::Format_Indexed8);
    out.setColorTable(table);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        uchar *dst = out.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            QRgb c = qAlpha(row[x]) == 0 ? 0u : row[x];
            int best = 0;
            long bestD = -1;
            for (int i = 0; i < table.size(); ++i) {
                long da = qAlpha(c) - qAlpha(table[i]), dr = qRed(c) - qRed(table[i]);
                long dg = qGreen(c) - qGreen(table[i]), db = qBlue(c) - qBlue(table[i]);
                long d = 2 * da * da + dr * dr + dg * dg + db * db;
                if (bestD < 0 || d < bestD) bestD = d, best = i;
            }
            dst[x] = static_cast<uchar>(best);
        }
    }
    return out;
}

// 192 x 192 palette: the program's sun, a glowing disc with sixteen rays on transparency.
// The program icon drawn at side x side pixels (its design is on a 192 grid).
QImage DrawAppIcon(int side) {
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 192.0, side / 192.0);
    const double c = 96;
    // Long and short rays alternate.
    p.setPen(QPen(QColor(0xC8, 0x64, 0x00), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xF5, 0x9A, 0x10));
    QPainterPath longRays = SunRays(c, c, 52, 92, 12, 8);
    p.drawPath(longRays);
    QTransform turn;
    turn.translate(c, c);
    turn.rotate(22.5);
    turn.translate(-c, -c);
    p.setBrush(QColor(0xF8, 0xB4, 0x28));
    p.drawPath(turn.map(SunRays(c, c, 52, 76, 10, 8)));
    QRadialGradient glow(QPointF(c - 16, c - 18), 70);
    glow.setColorAt(0.0, QColor(0xFF, 0xF6, 0xB0));
    glow.setColorAt(0.55, QColor(0xFF, 0xD2, 0x30));
    glow.setColorAt(1.0, QColor(0xF0, 0x90, 0x00));
    p.setPen(QPen(QColor(0xC8, 0x64, 0x00), 3.0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(c, c), 56, 56);
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

QImage MakeAppIcon() {
    return ToPalette(DrawAppIcon(192));
}

// The icon for the desktop's icon theme at the sizes it asks for, in full colour.
bool SaveThemeIcons(const QString &folder) {
    for (int side : {48, 64, 128, 256, 512})
        if (!Save(DrawAppIcon(side), folder,
                  QString("tintwell-%1.png").arg(side).toUtf8().constData()))
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--icons") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return SaveThemeIcons(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_pictures <sample photograph> <output folder>\n"
                             "       make_pictures --icons <output folder>\n");
        return 2;
    }
    // Drawing text needs a GUI application but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString sans = FontFamily(SansFont), bold = FontFamily(SansBoldFont);
    if (sans.isEmpty() || bold.isEmpty()) {
        std::fprintf(stderr, "make_pictures: DejaVu fonts missing (package fonts-dejavu-core)\n");
        return 1;
    }
    QImage photo(QString::fromLocal8Bit(argv[1]));
    if (photo.isNull()) {
        std::fprintf(stderr, "make_pictures: cannot read %s\n", argv[1]);
        return 1;
    }
    QString folder = QString::fromLocal8Bit(argv[2]);
    bool ok = Save(MakeSliderStrip(), folder, "slider_strip.png") &&
              Save(MakeSample(photo), folder, "sample.png") &&
              Save(MakeDropBanner(sans), folder, "drop_banner.png") &&
              Save(MakeRoundIcon(bold, "?"), folder, "help_icon.png") &&
              Save(MakeRoundIcon(bold, "i"), folder, "info_icon.png") &&
              Save(MakeAppIcon(), folder, "app_icon.png") &&
              Save(MakeSampleBackground(), folder, "sample_background.png");
    return ok ? 0 : 1;
}
