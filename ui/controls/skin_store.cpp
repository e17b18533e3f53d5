#include "controls/skin_store.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>

// The resource initialiser lives outside any namespace; a static library needs it called
// explicitly or the linker may drop the art.
static void initSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace quorvel {

namespace {
// The cache is keyed per size; a control resized by a layout would otherwise pile up pixmaps.
constexpr int kMaxCachedPixmaps = 512;
} // namespace

SkinStore::SkinStore() {
    initSkinResources();
}
SkinStore::~SkinStore() = default;

SkinStore& SkinStore::instance() {
    static SkinStore store;
    return store;
}

QSvgRenderer* SkinStore::renderer(int id) {
    auto it = renderers_.find(id);
    if (it != renderers_.end()) return it->get();
    std::shared_ptr<QSvgRenderer> r;
    const QString path = QStringLiteral(":/skin/%1.svg").arg(id);
    if (QFile::exists(path)) {
        r = std::make_shared<QSvgRenderer>(path);
        if (!r->isValid()) r.reset();
    }
    renderers_.insert(id, r);
    return r.get();
}

QPixmap SkinStore::pixmap(int id, QSize size, qreal dpr) {
    SkinStore& s = instance();
    if (size.isEmpty()) return {};
    if (dpr <= 0) dpr = 1.0;
    const Key key{id, size.width(), size.height(), qRound64(dpr * 1000)};
    if (auto it = s.cache_.constFind(key); it != s.cache_.constEnd()) return *it;
    QSvgRenderer* r = s.renderer(id);
    if (!r) return {};
    QPixmap pm(QSize(qCeil(size.width() * dpr), qCeil(size.height() * dpr)));
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        r->render(&p, QRectF(QPointF(0, 0), QSizeF(pm.size())));
    }
    pm.setDevicePixelRatio(dpr);
    ++s.renders_;
    if (s.cache_.size() >= kMaxCachedPixmaps) s.cache_.clear();
    s.cache_.insert(key, pm);
    return pm;
}

QSize SkinStore::naturalSize(int id) {
    QSvgRenderer* r = instance().renderer(id);
    return r ? r->defaultSize() : QSize();
}

bool SkinStore::has(int id) {
    return instance().renderer(id) != nullptr;
}

QString SkinStore::fontFamily() {
    return QStringLiteral("WenQuanYi Micro Hei");
}

QFont SkinStore::font(qreal pointSize, bool bold) {
    QFont f(fontFamily());
    f.setPointSizeF(pointSize > 0 ? pointSize : 8.0);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QFont SkinStore::pixelFont(int pixelHeight, bool bold) {
    QFont f(fontFamily());
    f.setPixelSize(pixelHeight > 0 ? pixelHeight : 12);
    f.setBold(bold);
    return f;
}

void SkinStore::clear() {
    cache_.clear();
    renders_ = 0;
}

} // namespace quorvel
