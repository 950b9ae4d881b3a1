#include "configurationdialog.h"
#include "programstart.h"
#include "terminationwatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    ConfigurationDialog dialog;
    new TerminationWatcher(&dialog);
    dialog.exec();
    // Cancel is a regular end too; the dialog's result never becomes the exit code.
    return 0;
}
