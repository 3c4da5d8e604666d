#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

// The on-disk layout of an icon group resource entry (GRPICONDIRENTRY), packed as stored.
#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

const void* resource(LPCSTR name, LPCSTR type, DWORD* size) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(self, name, type);
    if (!found) return nullptr;
    *size = SizeofResource(self, found);
    HGLOBAL loaded = LoadResource(self, found);
    return loaded ? LockResource(loaded) : nullptr;
}

} // namespace

// The window classes find the icon by its name, so a build that turned the name into a number
// (a header defining it) would leave every window without its icon.
TEST(Icon, LoadsByName) {
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), "IDI_PTC_ICON"), nullptr);
    EXPECT_NE(LoadImageA(GetModuleHandleA(nullptr), "IDI_PTC_ICON", IMAGE_ICON, 16, 16, 0),
              nullptr);
}

// Three images, in this order: 32x32 and 16x16 with 16 colours, 32x32 monochrome; each image's
// own header agrees with the group directory.
TEST(Icon, GroupHoldsTheThreeImages) {
    DWORD size = 0;
    auto* group = static_cast<const uint8_t*>(resource("IDI_PTC_ICON", RT_GROUP_ICON, &size));
    ASSERT_NE(group, nullptr);
    GroupHeader header;
    ASSERT_GE(size, sizeof header);
    std::memcpy(&header, group, sizeof header);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 3);
    ASSERT_GE(size, sizeof header + 3 * sizeof(GroupEntry));

    const struct { int size, bits, colours; } expected[3] = {{32, 4, 16}, {16, 4, 16}, {32, 1, 2}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        GroupEntry entry;
        std::memcpy(&entry, group + sizeof header + i * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.width, expected[i].size);
        EXPECT_EQ(entry.height, expected[i].size);
        EXPECT_EQ(entry.bitCount, expected[i].bits);
        EXPECT_EQ(entry.colours, expected[i].colours);

        DWORD imageSize = 0;
        auto* image =
            static_cast<const uint8_t*>(resource(MAKEINTRESOURCEA(entry.id), RT_ICON, &imageSize));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(imageSize, entry.bytes);
        BITMAPINFOHEADER info;
        ASSERT_GE(imageSize, sizeof info);
        std::memcpy(&info, image, sizeof info);
        EXPECT_EQ(info.biWidth, expected[i].size);
        EXPECT_EQ(info.biHeight, 2 * expected[i].size); // colour rows, then the mask
        EXPECT_EQ(info.biBitCount, expected[i].bits);
        const int colourRow = (expected[i].size * expected[i].bits + 31) / 32 * 4;
        const int maskRow = (expected[i].size + 31) / 32 * 4;
        EXPECT_EQ(imageSize, sizeof info + 4u * (1u << expected[i].bits) +
                                 unsigned(colourRow + maskRow) * unsigned(expected[i].size));
    }
}
