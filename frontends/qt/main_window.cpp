#include "qt/main_window.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace gui {

MainWindow::MainWindow(const station::ProgramInfo& info, QWidget* form) : info_(info), form_(form) {
    setWindowTitle(QString::fromUtf8(info.title));
    QMenu* exit_menu = menuBar()->addMenu(QString::fromUtf8("Выход"));
    exit_menu->addAction("E&xit", this, &QMainWindow::close);
    QMenu* help_menu = menuBar()->addMenu("?");
    help_menu->addAction(QString("&About %1...").arg(info.name), this, &MainWindow::show_about);

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(form);
    scroll->setFrameShape(QFrame::NoFrame);
    setCentralWidget(scroll);
    // 700 x 700 at first, then shrunk to fit the form where the form is smaller.
    QSize fit = form->size() + QSize(4, menuBar()->sizeHint().height() + 4);
    resize(std::min(700, fit.width()), std::min(700, fit.height()));
}

void MainWindow::show_about() {
    QDialog about(this);
    about.setWindowTitle(QString("About %1").arg(info_.name));
    auto* icon = new QLabel(&about);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    auto* text = new QLabel(QString("%1 Version 1.0").arg(info_.name), &about);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    QObject::connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(&about);
    layout->addLayout(row);
    layout->addWidget(ok);
    about.exec();
}

}  // namespace gui
