// The windows, offscreen: the widgets follow the controller, clicks reach it, refusals show.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdlib>

#include "app/runtime.h"
#include "dialrun/dialrun_window.h"
#include "inform/inform_window.h"
#include "pinread/pinread_window.h"
#include "qt/message_box.h"
#include "support/fast_runtime.h"
#include "support/temp_root.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

namespace {

// A program with its window on a simulated rack under virtual time.
template <typename C>
struct Windowed {
    Windowed(const std::string& rack_text, const gui::WindowSetup& setup,
             const std::string& root = ".") {
        runtime = fast_runtime(rack_dir, rack_text, root);
        controller = std::make_unique<C>(runtime->link(), runtime->clock(), runtime->drive(),
                                         runtime->sound());
        window = std::make_unique<gui::ProgramWindow>(*controller, runtime->port_error(), setup);
        settle();
    }
    // Worker threads' form messages need the event loop: run it until they are done.
    void settle() {
        while (controller->busy()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QCoreApplication::processEvents();
    }
    ~Windowed() { controller->close(); }

    template <typename W>
    W* control(int id) {
        W* w = qobject_cast<W*>(window->binding().control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }

    TempRoot rack_dir;
    std::unique_ptr<program::Runtime> runtime;
    std::unique_ptr<C> controller;
    std::unique_ptr<gui::ProgramWindow> window;
};

}  // namespace

TEST(Window, TheRowsAndRadiosFollowTheSurvey) {
    Windowed<inform::InformController> w("K1 informer line\nK3 time noline\nK6 mode=0x50 line\n",
                                         inform::window_setup());
    EXPECT_EQ(w.window->window().windowTitle(), QString::fromUtf8("Автоинформатор"));
    EXPECT_EQ(w.control<QLineEdit>(1034)->text(), QString::fromUtf8("Автоинформатор"));
    EXPECT_EQ(w.control<QLineEdit>(1036)->text(), QString::fromUtf8("Служба времени"));
    EXPECT_EQ(w.control<QLineEdit>(1039)->text(), QString::fromUtf8("Неверный режим"));
    EXPECT_TRUE(w.control<QCheckBox>(1008)->isChecked());     // K1 answered
    EXPECT_FALSE(w.control<QCheckBox>(1009)->isChecked());    // K2 did not
    EXPECT_TRUE(w.control<QCheckBox>(1026)->isChecked());     // K1 has a line
    EXPECT_FALSE(w.control<QCheckBox>(1028)->isChecked());    // K3 has none
    EXPECT_EQ(w.control<QLineEdit>(1056)->text(), "0");       // K6's counter
    EXPECT_TRUE(w.control<QRadioButton>(1025)->isChecked());  // the survey ended on K8
    EXPECT_EQ(w.control<QLineEdit>(1043)->text(),
              QString::fromUtf8(" Ожидание старта или записи фонем в канал "));
    QListWidget* log = w.control<QListWidget>(1042);
    ASSERT_EQ(log->count(), 9);
    EXPECT_EQ(log->item(8)->text(), QString::fromUtf8("Проверка 8 канала"));
    EXPECT_EQ(log->currentRow(), 8);
}

TEST(Window, RadioClicksSetTheChannelExceptWhileWorkRuns) {
    Windowed<pinread::PinreadController> w("K2 dtmf line\n", pinread::window_setup());
    ProgramState& s = w.controller->state();
    w.control<QRadioButton>(1008)->click();  // K3
    EXPECT_EQ(s.table.current_channel, 2);
    EXPECT_EQ(w.controller->form().channel_radio, 2);
    s.link_state = LINK_WORK;
    w.control<QRadioButton>(1011)->click();  // K6: ignored
    EXPECT_EQ(s.table.current_channel, 2);
    EXPECT_EQ(w.controller->form().channel_radio, 2);
}

TEST(Window, ARefusalAppearsAsAMessageBox) {
    Windowed<dialrun::DialrunController> w("K1 ring line\n", dialrun::window_setup());
    std::vector<QString> boxes;
    gui::set_message_box_function([&](QWidget*, const QString& text) { boxes.push_back(text); });
    w.controller->state().link_state = LINK_WORK;
    w.control<QPushButton>(1060)->click();  // "Да/Нет  З.Ф."
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], QString::fromUtf8("Запрещено ! "));
    gui::set_message_box_function({});

    // The real box, closed by its OK as an operator would.
    w.controller->state().link_state = LINK_FREE;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    w.control<QPushButton>(1060)->click();
    EXPECT_EQ(shown, QString::fromUtf8("        Отключен\nзапрет записи Фонем !"));
    EXPECT_EQ(w.controller->state().upload_permit, 1);
}

TEST(Window, DialrunSpinsChangeTheSettings) {
    Windowed<dialrun::DialrunController> w("", dialrun::window_setup());
    auto* spin = w.window->binding().control(1050);
    ASSERT_NE(spin, nullptr);
    QMetaObject::invokeMethod(spin, "stepUp");
    EXPECT_EQ(w.controller->dialrun_form().wait_setting, 21u);
    EXPECT_EQ(w.control<QLineEdit>(1049)->text(), "21");
}

TEST(Window, DialrunShowsACampaignInItsListsAndCounters) {
    TempRoot root;
    root.write("Ring.TXT", record("1111111", "   1000", 'Y') + record("2222222", "   2000") +
                               record("3333333", "   3000") + record("4444444", "   4000") +
                               "\r\n");
    Windowed<dialrun::DialrunController> w("K1 ring line results=1,2\nK2 ring line results=0\n",
                                           dialrun::window_setup(), root.path.string());
    w.control<QPushButton>(1042)->click();  // "Старт Прозвонки"
    w.settle();
    auto rows = [&](int id) {
        QStringList entries;
        QAbstractItemModel* model = w.control<QListView>(id)->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            entries << model->index(r, 0).data().toString();
        }
        return entries;
    };
    // The list views catch up with their models on a short timer.
    for (int i = 0; i < 100 && rows(1040).size() < 2; ++i) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(rows(1056), (QStringList{"1111111  Y", "2222222   ", "3333333   ", "4444444   "}));
    EXPECT_EQ(rows(1041), (QStringList{"1111111 ", "2222222 "}));
    EXPECT_EQ(rows(1040), (QStringList{"3333333 ", "4444444 "}));
    EXPECT_EQ(w.control<QListView>(1040)->currentIndex().row(), 1);
    EXPECT_EQ(w.control<QLineEdit>(1046)->text(), "4");
    EXPECT_EQ(w.control<QLineEdit>(1047)->text(), "2");
    EXPECT_EQ(w.control<QLineEdit>(1048)->text(), "2");
    EXPECT_EQ(w.control<QLineEdit>(1055)->text(), "4");
    EXPECT_EQ(w.control<QLineEdit>(1061)->text(), " 08-12  10:00");
    EXPECT_EQ(w.control<QProgressBar>(1000)->value(), 100);
    EXPECT_EQ(w.control<QLineEdit>(1029)->text().left(7), "Stop ! ");
    EXPECT_EQ(w.control<QLineEdit>(1045)->text(),
              QString::fromUtf8(" Завершение прозвонки абонентов ! "));
    if (const char* shot = std::getenv("DIALRUN_SHOT")) {
        w.window->window().grab().save(shot);
    }
}

TEST(Window, TheCheckRunsWhileItsBoxIsOpen) {
    Windowed<inform::InformController> w("K2 informer line play-time=5\n", inform::window_setup());
    w.control<QRadioButton>(1019)->click();  // K2
    bool finished_under_the_box = false;
    QString box_text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        box_text = box->text();
        // The check thread's form messages must get through while the box waits for OK.
        if (!w.controller->busy()) {
            finished_under_the_box = true;
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(5);
    w.control<QPushButton>(1049)->click();  // "Контроль Ф."
    poll.stop();
    EXPECT_TRUE(finished_under_the_box);
    EXPECT_EQ(box_text, QString::fromUtf8("           ВНИМАНИЕ !\nПозвонить,прослушать все "
                                          "фонемы\n     и нажать ОК! "));
    EXPECT_EQ(w.controller->state().link_state, LINK_FREE);
    EXPECT_EQ(w.control<QLineEdit>(1043)->text(),
              QString::fromUtf8(" Ожидание старта или записи фонем в канал "));
}

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
