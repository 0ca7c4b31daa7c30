#include "PlayerTree.h"

#include <algorithm>

namespace {

// Decimal, padded with zeros to `width` digits.
std::u16string Number(size_t value, size_t width) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), u'0');
    return digits;
}

}  // namespace

std::vector<TreeItem> PlayerTree::Items() const {
    std::vector<TreeItem> items;
    items.reserve(m_tracks + 2 * Albums() + Artists());
    for (size_t artist = 0; artist < Artists(); ++artist) {
        std::u16string artistPath =
            (artist % kWideEvery == kWideArtist ? u"歌手 " : u"Artist ") + Number(artist, 4);
        items.push_back({artistPath, true});
        size_t lastAlbum = std::min(Albums(), (artist + 1) * kAlbumsPerArtist);
        for (size_t album = artist * kAlbumsPerArtist; album < lastAlbum; ++album) {
            std::u16string albumPath = artistPath + u"\\" +
                                       (album % kWideEvery == kWideAlbum ? u"专辑 " : u"Album ") +
                                       Number(album, 5);
            items.push_back({albumPath, true});
            size_t lastTrack = std::min(m_tracks, (album + 1) * kTracksPerAlbum);
            for (size_t track = album * kTracksPerAlbum; track < lastTrack; ++track)
                items.push_back({albumPath + u"\\" + Number(track % kTracksPerAlbum + 1, 2) +
                                     (track % kWideEvery == kWideTrack ? u" - 月亮代表我的心 "
                                                                       : u" - Track Title ") +
                                     Number(track, 6) + u".mp3",
                                 false});
            items.push_back({albumPath + u"\\cover.jpg", false});
        }
    }
    return items;
}

std::vector<uint8_t> OldPlayerDatabase() {
    std::vector<uint8_t> db(18, 0);
    db[2] = 1;     // one record
    db[3] = 0x01;  // the constant bytes of a header
    db[4] = 0x08;
    db[8] = 0x12;  // the header's own length
    return db;
}
