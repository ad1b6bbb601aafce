#pragma once

#include <QUrl>

#include <functional>

class QWidget;

// The web engine's view behind the map window. It lives in a library of its own, loaded when the
// map window is first shown: linked into the program, the engine and the graphics drivers it
// draws with would cost their memory from the start, whether anyone looks at the map or not.
// Plain C++ on both sides, so that no class of the program is built into the library twice.
class WebView {
public:
    // What became of the page last asked for.
    enum class Progress { Started, Advanced, Stopped, Failed, Succeeded };
    struct Report {
        Progress progress;
        int httpStatus = 0; // the answer's status, where the engine reports one
        QUrl requested;     // the address the page was asked for
    };
    using Listener = std::function<void(const Report &)>;

    virtual ~WebView() = default;
    // The view itself, owned by the parent it was made in.
    virtual QWidget *widget() = 0;
    virtual void load(const QUrl &address) = 0;
    virtual void stop() = 0;
};

// The one function the library exports. Its name changes with this interface, so that a library
// of another build is refused rather than misread.
using MakeWebView = WebView *(*)(QWidget *parent, WebView::Listener listener);
inline constexpr char kMakeWebViewSymbol[] = "pelora_make_web_view_1";
