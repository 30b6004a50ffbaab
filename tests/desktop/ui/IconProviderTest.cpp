#include "ui/IconProvider.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

IconRef source(IconSource::Kind kind, std::string value)
{
    return std::make_shared<const IconSource>(IconSource{kind, std::move(value), {}});
}

/// A private icon theme, "kestreltest", holding one application icon, "kestrel-test-app", in the "icons"
/// folder of a temporary XDG data directory. Qt's own theme search path is left without that folder, as
/// platform plugins other than the generic Unix one leave it: the provider has to add it.
class TestTheme {
public:
    TestTheme()
        : m_savedPaths(QIcon::themeSearchPaths()), m_savedTheme(QIcon::themeName()),
          m_savedDataDirs(qgetenv("XDG_DATA_DIRS"))
    {
        QDir root(m_root.path());
        root.mkpath(QStringLiteral("icons/kestreltest/32x32/apps"));
        QFile index(root.filePath(QStringLiteral("icons/kestreltest/index.theme")));
        index.open(QIODevice::WriteOnly);
        index.write("[Icon Theme]\nName=kestreltest\nDirectories=32x32/apps\n\n"
                    "[32x32/apps]\nSize=32\nContext=Applications\nType=Fixed\n");
        index.close();
        writePng(root.filePath(QStringLiteral("icons/kestreltest/32x32/apps/kestrel-test-app.png")));
        qputenv("XDG_DATA_DIRS", m_root.path().toLocal8Bit());
        QIcon::setThemeSearchPaths({QStringLiteral(":/icons")});
        QIcon::setThemeName(QStringLiteral("kestreltest"));
    }
    ~TestTheme()
    {
        qputenv("XDG_DATA_DIRS", m_savedDataDirs);
        QIcon::setThemeSearchPaths(m_savedPaths);
        QIcon::setThemeName(m_savedTheme);
    }
    QString path(const QString& name) const { return QDir(m_root.path()).filePath(name); }

    static void writePng(const QString& path)
    {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::red);
        image.save(path, "PNG");
    }

private:
    QTemporaryDir m_root;
    QStringList m_savedPaths;
    QString m_savedTheme;
    QByteArray m_savedDataDirs;
};

TEST(IconProvider, ResolvesEachKindOfSourceOrGivesNothing)
{
    TestTheme theme;
    const QString png = theme.path(QStringLiteral("picture.png"));
    TestTheme::writePng(png);
    const QString garbage = theme.path(QStringLiteral("broken.png"));
    {
        QFile file(garbage);
        file.open(QIODevice::WriteOnly);
        file.write("this is not an image");
    }

    struct Case {
        const char* name;
        IconRef source;
        bool found;
    };
    const Case cases[] = {
        {"no source", nullptr, false},
        {"empty name", source(IconSource::Kind::themeIcon, ""), false},
        {"theme icon", source(IconSource::Kind::themeIcon, "kestrel-test-app"), true},
        {"theme icon written with its extension", source(IconSource::Kind::themeIcon, "kestrel-test-app.png"), true},
        {"theme icon nobody has", source(IconSource::Kind::themeIcon, "kestrel-test-missing"), false},
        {"absolute path given as a theme name", source(IconSource::Kind::themeIcon, png.toStdString()), true},
        {"image file", source(IconSource::Kind::imageFile, png.toStdString()), true},
        {"image file that is no image", source(IconSource::Kind::imageFile, garbage.toStdString()), false},
        {"image file that does not exist", source(IconSource::Kind::imageFile, "/nonexistent/x.png"), false},
        {"bundled symbol", source(IconSource::Kind::symbol, "calculator"), true},
        {"unknown symbol", source(IconSource::Kind::symbol, "no-such-symbol"), false},
    };
    for (const Case& c : cases) {
        IconProvider icons;
        const QIcon icon = icons.icon(c.source);
        EXPECT_EQ(!icon.isNull(), c.found) << c.name;
        if (c.found) {
            EXPECT_FALSE(icon.pixmap(QSize(32, 32)).isNull()) << c.name;
        }
    }
}

} // namespace
} // namespace kestrel
