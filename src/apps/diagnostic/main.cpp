#include "diagnosticdialog.h"
#include "programstart.h"
#include "terminationwatcher.h"

#include <QApplication>
#include <QSharedPointer>

int main(int argc, char **argv)
{
    prepareApplication();
    QSharedPointer<QApplication> application(new QApplication(argc, argv));
    {
        DiagnosticDialog dialog(nullptr);
        new TerminationWatcher(&dialog);
        dialog.exec();
    }
    application.reset();
    return 0;
}
