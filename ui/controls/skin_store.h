// One store for every skin image: SVG art looked up by its numeric id and rendered once per
// (id, size, device pixel ratio), so controls stay crisp on any screen without re-rendering on
// every paint.
#pragma once

#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <memory>

class QSvgRenderer;

namespace quorvel {

// UI thread only, and only once the application object exists (pixmaps need it).
class SkinStore {
public:
    static SkinStore& instance();

    // The image at logical size `size`, rendered for `dpr` device pixels per logical pixel.
    // A null pixmap when the id has no art or the size is empty.
    static QPixmap pixmap(int id, QSize size, qreal dpr);
    // The art's own size in logical pixels (the size controls take when an image is set).
    static QSize naturalSize(int id);
    static bool has(int id);

    static QString fontFamily();
    static QFont font(qreal pointSize = 8.0, bool bold = false);
    // Pixel-sized variant for controls whose metrics are given as a font height.
    static QFont pixelFont(int pixelHeight, bool bold = false);

    // Number of SVG renders done so far; lets tests see that the cache holds.
    int renderCount() const { return renders_; }
    void clear();

    ~SkinStore();

private:
    SkinStore();
    QSvgRenderer* renderer(int id);

    struct Key {
        int id;
        int width;
        int height;
        qint64 dprMilli;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& k, size_t seed) {
        return qHashMulti(seed, k.id, k.width, k.height, k.dprMilli);
    }

    QHash<int, std::shared_ptr<QSvgRenderer>> renderers_;
    QHash<Key, QPixmap> cache_;
    int renders_ = 0;
};

} // namespace quorvel
