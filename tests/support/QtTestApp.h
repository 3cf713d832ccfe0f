// The QApplication a window test needs, made once per test program, and a
// way to act on a modal dialog from inside its own event loop.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

class QtAppEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

inline ::testing::Environment* const g_qtAppEnvironment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

// Calls fn(dialog) once the next modal window of type T is up. The timer
// belongs to the application, so one that never fires goes with it.
template <class T, class F> void OnNextModal(F fn)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn]() mutable {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        fn(w);
    });
    timer->start();
}

} // namespace testsupport
