// Writes the program's icon group: 32x32 and 16x16 with 16 colours and 32x32 monochrome, each
// with a transparency mask. The images are drawn here, pixel by pixel, so the depths are
// exactly the ones written and no image tool decides them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Image {
    int size;
    int bits;                    // 4 or 1
    std::vector<uint8_t> colour; // palette index per pixel, top row first
    std::vector<uint8_t> opaque; // 1 where the icon is drawn
};

// The standard 16-colour palette, as RGB.
const uint8_t VGA[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// A lit sphere with a four-pointed glint: shading bands from dark blue to white.
Image drawColour(int size) {
    Image image{size, 4, std::vector<uint8_t>(size * size), std::vector<uint8_t>(size * size)};
    const double centre = (size - 1) / 2.0, radius = size / 2.0 - 0.5;
    const uint8_t bands[] = {0, 4, 12, 6, 14, 7, 15};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = (x - centre) / radius, dy = (y - centre) / radius;
            const double r2 = dx * dx + dy * dy;
            const int i = y * size + x;
            if (r2 <= 1.0) {
                // Light from the upper left.
                const double z = std::sqrt(1.0 - r2);
                double light = (-0.5 * dx - 0.6 * dy + 0.62 * z);
                if (light < 0) light = 0;
                int band = 1 + int(light * 5.99);
                if (r2 > 0.85) band = 1; // a dark rim keeps the edge readable
                image.colour[i] = bands[band];
                image.opaque[i] = 1;
            }
            // The glint: thin cross arms over the highlight.
            const int gx = int(centre - radius * 0.35 + 0.5),
                      gy = int(centre - radius * 0.35 + 0.5);
            const int arm = size / 6;
            if ((x == gx && std::abs(y - gy) <= arm) || (y == gy && std::abs(x - gx) <= arm)) {
                image.colour[i] = 11;
                image.opaque[i] = 1;
            }
        }
    }
    return image;
}

// The monochrome image: a white disc with a black ring, opaque inside the disc.
Image drawMono(int size) {
    Image image{size, 1, std::vector<uint8_t>(size * size), std::vector<uint8_t>(size * size)};
    const double centre = (size - 1) / 2.0, radius = size / 2.0 - 0.5;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double d = std::hypot(x - centre, y - centre) / radius;
            const int i = y * size + x;
            if (d <= 1.0) {
                image.opaque[i] = 1;
                image.colour[i] = (d > 0.55 && d < 0.75) ? 0 : 1;
            }
        }
    }
    return image;
}

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One icon image: a BITMAPINFOHEADER of twice the height, the colour table, the colour rows
// and the mask rows, both bottom-up with rows padded to four bytes.
std::vector<uint8_t> encode(const Image& image) {
    const int n = image.size, colours = 1 << image.bits;
    const int colourRow = ((n * image.bits + 31) / 32) * 4, maskRow = ((n + 31) / 32) * 4;
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, uint32_t(n));
    put32(out, uint32_t(2 * n));
    put16(out, 1);
    put16(out, unsigned(image.bits));
    put32(out, 0); // BI_RGB
    put32(out, uint32_t((colourRow + maskRow) * n));
    put32(out, 0);
    put32(out, 0);
    put32(out, uint32_t(colours));
    put32(out, 0);
    for (int c = 0; c < colours; ++c) {
        const uint8_t* rgb = image.bits == 4 ? VGA[c] : VGA[c ? 15 : 0];
        out.push_back(rgb[2]);
        out.push_back(rgb[1]);
        out.push_back(rgb[0]);
        out.push_back(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row(colourRow);
        for (int x = 0; x < n; ++x) {
            const uint8_t c = image.colour[y * n + x];
            if (image.bits == 4)
                row[x / 2] |= uint8_t(x % 2 ? c : c << 4);
            else if (c)
                row[x / 8] |= uint8_t(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskRow);
        for (int x = 0; x < n; ++x)
            if (!image.opaque[y * n + x]) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    const Image images[] = {drawColour(32), drawColour(16), drawMono(32)};
    std::vector<std::vector<uint8_t>> data;
    for (const Image& image : images) data.push_back(encode(image));

    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, 1); // icon
    put16(out, 3);
    uint32_t offset = 6 + 16 * 3;
    for (int i = 0; i < 3; ++i) {
        out.push_back(uint8_t(images[i].size));
        out.push_back(uint8_t(images[i].size));
        out.push_back(uint8_t(1 << images[i].bits)); // colours in the table
        out.push_back(0);
        put16(out, 1);
        put16(out, unsigned(images[i].bits));
        put32(out, uint32_t(data[i].size()));
        put32(out, offset);
        offset += uint32_t(data[i].size());
    }
    for (const auto& d : data) out.insert(out.end(), d.begin(), d.end());

    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
