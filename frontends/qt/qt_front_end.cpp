#include "qt/qt_front_end.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include "qt/message_box.h"

namespace gui {

QtFrontEnd::QtFrontEnd(station::Controller& controller, FormBinding& binding, QWidget* window,
                       RefreshExtras refresh_extras)
    : controller_(controller),
      binding_(binding),
      window_(window),
      refresh_extras_(std::move(refresh_extras)) {
    QListWidget* log = binding_.log();
    controller_.state().log.set_listener({[this, log](const std::string& line, bool selected) {
                                              QString text = QString::fromStdString(line);
                                              QMetaObject::invokeMethod(
                                                  this,
                                                  [log, text, selected] {
                                                      log->addItem(text);
                                                      if (selected) {
                                                          log->setCurrentRow(log->count() - 1);
                                                      }
                                                  },
                                                  Qt::QueuedConnection);
                                          },
                                          [this, log] {
                                              QMetaObject::invokeMethod(
                                                  this, [log] { log->clear(); },
                                                  Qt::QueuedConnection);
                                          }});
    connect_controls();
}

QtFrontEnd::~QtFrontEnd() {
    controller_.state().log.set_listener({});
}

void QtFrontEnd::run_on_ui(const std::function<void()>& handler) {
    if (QThread::currentThread() == thread()) {
        handler();
        return;
    }
    QMetaObject::invokeMethod(
        this, [&handler] { handler(); }, Qt::BlockingQueuedConnection);
}

void QtFrontEnd::form_changed() {
    binding_.refresh(controller_.form());
    if (refresh_extras_) {
        refresh_extras_();
    }
}

void QtFrontEnd::connect_controls() {
    const station::FormControls& ids = binding_.controls();
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        auto* radio = qobject_cast<QRadioButton*>(binding_.control(ids.radio[k]));
        QObject::connect(radio, &QRadioButton::clicked, this,
                         [this, k] { controller_.OnChannelK(k + 1); });
    }
    for (const auto& [id, button] : ids.buttons) {
        auto* push = qobject_cast<QPushButton*>(binding_.control(id));
        if (push == nullptr) {
            qFatal("form: button %d is missing", id);
        }
        station::Button which = button;
        QObject::connect(push, &QPushButton::clicked, this, [this, which] { press(which); });
    }
}

void QtFrontEnd::press(station::Button button) {
    std::optional<std::string> box = controller_.press(button);
    if (box) {
        show_message_box(window_, QString::fromStdString(*box));
    }
    form_changed();
}

}  // namespace gui
