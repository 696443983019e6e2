#include <QApplication>
#include <QLabel>
#include <QString>

// Desktop entry point. The main window is still being built: for now the program shows what exists.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("VTA_App");
  QLabel label(QString("VTA_App %1\nThe main window is not built yet; the engine is being assembled.")
                   .arg(VTA_VERSION));
  label.setMinimumSize(420, 120);
  label.setAlignment(Qt::AlignCenter);
  label.show();
  return app.exec();
}
