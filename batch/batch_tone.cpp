#include "batch/batch_tone.h"

#include "runtime/base/text.h"
#include "tone/colour_table.h"
#include "tone/presets.h"
#include "tone/stop_text.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr int TableEntries = 2048;

std::string Trimmed(const std::string &text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Lower(std::string text) {
    for (char &c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string RowName(int row) {
    return Trimmed(std::string(PresetTable.rows[row].name, PresetNameBytes));
}

bool IsSeparator(int row) {
    return RowName(row) == "-";
}

// The stops row `row` stands for: user rows from the settings file when read.
const GradientStop *RowStops(int row, const StoredSettings *stored) {
    int user = row - FirstUserPresetRow;
    if (stored && user >= 0 && user < stored->PresetRecords) return stored->UserPresets[user].stops;
    return PresetTable.rows[row].stops;
}

// One row written as PNG pixels by libpng. The longjmp boundary holds no C++
// objects with destructors.
bool WriteRgbRow(std::FILE *file, const unsigned char *rgb, int width) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), 1, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_row(png, rgb);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

int FindPresetRow(const std::string &name) {
    std::string wanted = Lower(Trimmed(name));
    if (wanted.empty()) return -1;
    if (wanted.find_first_not_of("0123456789") == std::string::npos) {
        if (wanted.size() > 3) return -1;
        int row = std::atoi(wanted.c_str());
        return row < PresetRowCount && !IsSeparator(row) ? row : -1;
    }
    for (int row = 0; row < PresetRowCount; row++)
        if (!IsSeparator(row) && Lower(RowName(row)) == wanted) return row;
    return -1;
}

int ChooseBatchTone(const std::string &preset, const std::string &stops, bool stopsGiven,
                    const StoredSettings *stored, std::string *error) {
    if (stopsGiven) {
        if (!PasteStopsFromText(StringFromUtf8(stops), nullptr)) {
            *error = "--stops must hold nine stops as \"!dd \" and nine 0x values, not \"" + stops +
                     "\"";
            return 0;
        }
        BuildColourTable(CurrentStops);
        return 1;
    }
    int row = FindPresetRow(preset.empty() ? "Gray" : preset);
    if (row < 0) {
        *error = "no preset \"" + preset + "\" (--list-presets shows them)";
        return 0;
    }
    std::memcpy(CurrentStops, RowStops(row, stored), sizeof CurrentStops);
    BuildColourTable(CurrentStops);
    return 1;
}

void ListPresets(std::FILE *out, const StoredSettings *stored) {
    GradientStop kept[StopCount];
    std::memcpy(kept, CurrentStops, sizeof kept);
    for (int row = 0; row < PresetRowCount; row++) {
        if (IsSeparator(row)) continue;
        std::memcpy(CurrentStops, RowStops(row, stored), sizeof CurrentStops);
        std::fprintf(out, "%2d  %-24s %s\n", row, RowName(row).c_str(),
                     Utf8Of(CopyStopsAsText()).c_str());
    }
    std::memcpy(CurrentStops, kept, sizeof kept);
}

int ExportColourTable(const std::string &path, int shift, std::string *error) {
    unsigned char rgb[TableEntries * 3];
    for (int l = 0; l < TableEntries; l++) {
        uint32_t colour = ToneColourTable[l + 8 * shift];
        rgb[l * 3] = uint8_t(colour), rgb[l * 3 + 1] = uint8_t(colour >> 8);
        rgb[l * 3 + 2] = uint8_t(colour >> 16);
    }
    std::FILE *file = std::fopen(path.c_str(), "wbx"); // never over an existing file
    if (!file) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return 0;
    }
    errno = 0;
    bool written = WriteRgbRow(file, rgb, TableEntries);
    written = std::fflush(file) == 0 && written;
    if (std::fclose(file) != 0) written = false;
    int saved = errno;
    if (!written) {
        unlink(path.c_str());
        *error = "cannot write " + path + ": " + std::strerror(saved ? saved : EIO);
        return 0;
    }
    return 1;
}
