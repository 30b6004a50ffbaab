#pragma once

#include "catalog/IconRef.h"

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QThreadPool>

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace kestrel {

class IconTheme;

/// Turns the icon sources recorded by the catalogue into drawable icons without ever making the caller
/// wait for a file or a decoder. The first request for a source starts its lookup and decoding on a
/// worker thread and answers "not yet" (a null icon, so the row paints its placeholder); when the image
/// is ready `iconsArrived` asks the views to repaint. Each source is looked up and decoded once; its
/// outcome, image or failure, is kept for the life of the provider. Files are read through `IconFile`
/// (regular files of at most 8 MiB only, never blocking on FIFOs or devices). Main thread only, apart
/// from the worker it owns.
class IconProvider : public QObject {
    Q_OBJECT
public:
    /// Makes sure theme lookups fall back to the "hicolor" theme when the desktop names none, that the
    /// XDG icon folders (`<data dir>/icons`) are on Qt's theme search path, and that Qt's warnings about
    /// images it cannot read stay unprinted (process-wide settings). `pictureSize` is the size icons are
    /// drawn at, in device-independent pixels; they are decoded for the screens' highest pixel ratio.
    explicit IconProvider(QSize pictureSize = QSize(32, 32), QObject* parent = nullptr);
    /// Waits for a decode in progress to finish; nothing is delivered afterwards.
    ~IconProvider() override;

    /// The icon for `source` if it is ready; a null icon when there is nothing to draw yet or ever: no
    /// source, a decode still in progress, an icon name that no installed theme (nor a pixmaps directory)
    /// provides, a file that is not a readable regular image within the limits, or a symbol (rows that
    /// carry one draw their own).
    QIcon icon(const IconRef& source);

    /// Blocks until every decode asked for so far has finished and been delivered (for tests and for
    /// measurements; the application never waits).
    void waitForPending();

signals:
    /// Emitted on the main thread when icons asked for have become ready (or failed for good): rows drawn
    /// with a placeholder may now draw them.
    void iconsArrived();

private:
    void request(const std::string& key, const IconSource& source);
    void deliver(const std::string& key, const QImage& image);
    /// Runs on the worker: finds, reads and decodes `source`; a null image on any failure.
    static QImage load(IconTheme& theme, const IconSource& source, QSize size);

    QSize m_decodeSize;
    std::unordered_map<std::string, QIcon> m_cache;
    /// The keys whose decode is queued or running.
    std::unordered_set<std::string> m_pending;
    /// Used only by the worker (one task at a time).
    std::unique_ptr<IconTheme> m_theme;
    QThreadPool m_worker;
};

} // namespace kestrel
