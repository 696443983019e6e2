#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

// Build step: turns the user manual's Markdown into the PDF that Help > User Manual opens.
// Usage: vta-manual INPUT.md OUTPUT.pdf TITLE
int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vta-manual INPUT.md OUTPUT.pdf TITLE\n");
    return 2;
  }
  // No display is needed: the text is laid out for the PDF writer only.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QFile input(QString::fromLocal8Bit(argv[1]));
  if (!input.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "vta-manual: cannot read %s: %s\n", argv[1], qPrintable(input.errorString()));
    return 1;
  }
  QTextDocument document;
  QFont font("DejaVu Sans", 10);
  document.setDefaultFont(font);
  document.setDefaultStyleSheet("table { border-collapse: collapse; } th, td { padding: 3px; }");
  document.setMarkdown(QString::fromUtf8(input.readAll()));
  document.setMetaInformation(QTextDocument::DocumentTitle, QString::fromUtf8(argv[3]));

  QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
  writer.setTitle(QString::fromUtf8(argv[3]));
  writer.setCreator("VTA");
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 18, 20, 18),
                                   QPageLayout::Millimeter));
  document.print(&writer);
  if (!QFile::exists(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "vta-manual: %s was not written\n", argv[2]);
    return 1;
  }
  return 0;
}
