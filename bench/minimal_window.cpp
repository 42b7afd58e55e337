// The yardstick of bench/bench_startup: a minimal Qt Widgets window of Quillon's size (a fixed
// 771 x 631 client area under a menu bar with one menu), shown at once, nothing else.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Exit"));
    auto* client = new QWidget(&window);
    client->setFixedSize(771, 631);
    window.setCentralWidget(client);
    window.setFixedSize(771, 631 + window.menuBar()->sizeHint().height());
    window.show();
    return app.exec();
}
