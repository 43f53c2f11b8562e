#include "ProcessEnvironment.hpp"

#include <QProcessEnvironment>

namespace menubar::app {

std::map<std::string, std::string> processEnvironment() {
    std::map<std::string, std::string> environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys())
        environment[name.toStdString()] = system.value(name).toStdString();
    return environment;
}

} // namespace menubar::app
