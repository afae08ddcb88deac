#pragma once
// ImageList: the toolbar's 16x16 pictures, drawn at start-up. Positions not
// used by the toolbar give a null icon.

#include <QIcon>

class TImageList {
public:
    static constexpr int kCount = 172;
    static constexpr int kImageSize = 16;

    // Positions the toolbar uses.
    static constexpr int kOpenFolder = 171;
    static constexpr int kCurrentBase = 153;
    static constexpr int kDatabase = 108;
    static constexpr int kDatabaseList = 170;
    static constexpr int kFont = 168;
    static constexpr int kRun = 169;

    // The picture at `index`; a null icon outside [0, kCount) and for unused
    // positions.
    [[nodiscard]] QIcon Icon(int index) const;
};
