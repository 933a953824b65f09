#include "support/Icons.h"

#include <QString>

namespace lk::gui {
namespace {

QIcon Svg(const char* name) {
    return QIcon(QString(":/icons/%1.svg").arg(QLatin1String(name)));
}

QVector<QIcon> Strip131() {
    return {Svg("incoming"), Svg("outgoing"), Svg("microphone"), Svg("note2"),
            Svg("contacts"), Svg("search"),   Svg("backup"),     Svg("mail"),
            Svg("dot"),      Svg("recorder"), Svg("headset"),    Svg("list")};
}

QVector<QIcon> Strip147() {
    return {Svg("play"),     Svg("delete"),   Svg("flag"),   Svg("backup"), Svg("mail"),
            Svg("sheet"),    Svg("search"),   Svg("import"), Svg("clear"),  Svg("missed"),
            Svg("contacts"), Svg("recorder"), Svg("dot")};
}

}  // namespace

const QVector<QIcon>& ListIcons() {
    static const QVector<QIcon> icons = Strip131() + Strip147();
    return icons;
}

const QVector<QIcon>& TreeIcons() {
    static const QVector<QIcon> icons = Strip131() + QVector<QIcon>{Svg("device")} + Strip147();
    return icons;
}

const QVector<QIcon>& ToolbarIcons() {
    static const QVector<QIcon> icons =
        Strip147() + QVector<QIcon>{Svg("import"), Svg("clear"), Svg("eject")};
    return icons;
}

QIcon ProgramIcon() {
    return Svg("linekeeper");
}

}  // namespace lk::gui
