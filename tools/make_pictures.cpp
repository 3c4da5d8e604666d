// Renders the screensaver's two pictures as uncompressed true-colour TGA files:
//   kelmor1.tga  a lit golden sphere with a soft rim, 128x128, 32 bits, top row first
//   kelmor2.tga  a teal ring round a violet four-pointed star, 152x120, 24 bits, bottom row first
// Usage: make_pictures <output directory>
// A plain host program with no dependencies, so a cross build can compile it for the build
// machine.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Colour {
    double r, g, b, a;
};

double clamp01(double v) {
    return std::min(1.0, std::max(0.0, v));
}

double smoothstep(double edge0, double edge1, double v) {
    const double t = clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

struct Vector {
    double x, y, z;
};

Vector normalised(Vector v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

double dot(Vector a, Vector b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Diffuse and specular light from the upper left, the viewer straight in front.
Colour shade(Vector normal, Colour base, double shininess, double specular) {
    const Vector light = normalised({-0.55, -0.65, 0.75});
    const Vector halfway = normalised({light.x, light.y, light.z + 1.0});
    const double diffuse = std::max(0.0, dot(normal, light));
    const double highlight = std::pow(std::max(0.0, dot(normal, halfway)), shininess) * specular;
    const double ambient = 0.12;
    return {clamp01(base.r * (ambient + diffuse) + highlight),
            clamp01(base.g * (ambient + diffuse) + highlight),
            clamp01(base.b * (ambient + diffuse) + highlight), 1.0};
}

struct Picture {
    int width, height;
    std::vector<Colour> pixels; // top row first
    Colour& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Four samples per pixel along each axis, so edges are anti-aliased.
template <typename Sample> Picture render(int width, int height, Sample sample) {
    Picture picture{width, height, std::vector<Colour>(size_t(width) * size_t(height))};
    constexpr int grid = 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Colour sum{0, 0, 0, 0};
            for (int sy = 0; sy < grid; ++sy)
                for (int sx = 0; sx < grid; ++sx) {
                    const Colour c = sample(x + (sx + 0.5) / grid, y + (sy + 0.5) / grid);
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                    sum.a += c.a;
                }
            const double n = grid * grid;
            picture.at(x, y) = {sum.r / n, sum.g / n, sum.b / n, sum.a / n};
        }
    return picture;
}

// The sphere fades to black over its outer tenth, since the screensaver copies without blending.
Colour sphere(double px, double py, double size) {
    const double radius = size * 0.5 - 1.0;
    const double nx = (px - size * 0.5) / radius;
    const double ny = (py - size * 0.5) / radius;
    const double d2 = nx * nx + ny * ny;
    if (d2 >= 1.0) return {0, 0, 0, 0};
    const Vector normal{nx, ny, std::sqrt(1.0 - d2)};
    // Faint latitude bands make the turning of the light visible.
    const double band = 0.85 + 0.15 * std::cos(std::asin(ny) * 9.0);
    Colour c = shade(normal, {1.0 * band, 0.72 * band, 0.22 * band, 1}, 40.0, 0.8);
    const double rim = 1.0 - smoothstep(0.82, 1.0, std::sqrt(d2));
    return {c.r * rim, c.g * rim, c.b * rim, rim};
}

// Four points: the star's edge pulls in between the axes.
double starEdge(double u, double v) {
    const double angle = std::atan2(v, u);
    return 0.56 * (0.35 + 0.65 * std::pow(std::abs(std::cos(2.0 * angle)), 3.0));
}

// A raised ring and star: the height field's slope gives the normal for the lighting.
double emblemHeight(double u, double v, int* part) {
    const double r = std::sqrt(u * u + v * v);
    const double ring = 1.0 - std::abs(r - 0.78) / 0.14; // a torus-like cross-section
    if (ring > 0) {
        *part = 1;
        return std::sqrt(std::max(0.0, ring * (2.0 - ring))) * 0.14;
    }
    const double edge = starEdge(u, v);
    if (r < edge) {
        *part = 2;
        return (1.0 - r / edge) * 0.3;
    }
    *part = 0;
    return 0;
}

Colour emblem(double px, double py, int width, int height) {
    const double scale = std::min(width, height) * 0.5 - 2.0;
    // Stretched sideways: the picture is wider than tall, unlike the sphere.
    const double u = (px - width * 0.5) / (scale * double(width) / height);
    const double v = (py - height * 0.5) / scale;
    int part = 0;
    emblemHeight(u, v, &part);
    if (part == 0) return {0, 0, 0, 0};
    const double e = 0.004;
    int ignored;
    const double dx = (emblemHeight(u + e, v, &ignored) - emblemHeight(u - e, v, &ignored)) / e;
    const double dy = (emblemHeight(u, v + e, &ignored) - emblemHeight(u, v - e, &ignored)) / e;
    const Vector normal = normalised({-dx * 0.5, -dy * 0.5, 1.0});
    const Colour base = part == 1 ? Colour{0.15, 0.75, 0.70, 1} : Colour{0.62, 0.30, 0.92, 1};
    Colour c = shade(normal, base, 24.0, 0.6);
    // Soft outer edges of the ring and the star.
    const double r = std::sqrt(u * u + v * v);
    const double f = part == 1 ? 1.0 - smoothstep(0.84, 0.92, r)
                               : 1.0 - smoothstep(0.8, 1.0, r / starEdge(u, v));
    return {c.r * f, c.g * f, c.b * f, f};
}

uint8_t byte(double v) {
    return uint8_t(std::lround(clamp01(v) * 255.0));
}

bool writeTga(const std::string& path, const Picture& picture, int bits, bool topFirst) {
    const int bytesPerPixel = bits / 8;
    std::vector<uint8_t> data(18, 0);
    data[2] = 2; // uncompressed true colour
    data[12] = uint8_t(picture.width & 0xFF);
    data[13] = uint8_t(picture.width >> 8);
    data[14] = uint8_t(picture.height & 0xFF);
    data[15] = uint8_t(picture.height >> 8);
    data[16] = uint8_t(bits);
    data[17] = uint8_t((topFirst ? 0x20 : 0x00) | (bits == 32 ? 8 : 0)); // order, alpha bits
    for (int f = 0; f < picture.height; ++f) {
        const int y = topFirst ? f : picture.height - 1 - f;
        for (int x = 0; x < picture.width; ++x) {
            const Colour& c = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
            data.push_back(byte(c.b)); // TGA stores blue, green, red, then alpha
            data.push_back(byte(c.g));
            data.push_back(byte(c.r));
            if (bytesPerPixel == 4) data.push_back(byte(c.a));
        }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::string directory = argv[1];
    const Picture first = render(128, 128, [](double x, double y) { return sphere(x, y, 128); });
    const Picture second =
        render(152, 120, [](double x, double y) { return emblem(x, y, 152, 120); });
    if (!writeTga(directory + "/kelmor1.tga", first, 32, true) ||
        !writeTga(directory + "/kelmor2.tga", second, 24, false)) {
        std::fprintf(stderr, "%s: could not write the pictures to %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
