#include "app/exception_handler.h"
#include "app/fonts.h"
#include "app/forms.h"
#include "app/main_window.h"
#include "core/file_stream.h"

#include <QIcon>

int main(int argc, char* argv[]) {
    velmora::IgnoreFileSizeSignal();
    velmora::TVelmoraApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    QApplication::setFont(velmora::InterfaceFont());
    const std::unique_ptr<velmora::TForms> forms = velmora::CreateForms();
    forms->frmMain->show();
    return app.exec();
}
