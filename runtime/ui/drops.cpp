// Drag and drop: what a drag offers, the drop record, the accepted types of
// windows and gadgets, and the drop record accessors of the current event.
#include "runtime/ui/drops.h"
#include "runtime/base/text.h"
#include "runtime/ui/internal.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <string>
#include <unistd.h>

namespace {

const QString UriListType = QStringLiteral("text/uri-list");

// Whether the host of a file URL is this machine.
bool IsLocalHost(const QByteArray &host) {
    if (host.isEmpty() || host.compare("localhost", Qt::CaseInsensitive) == 0) return true;
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && host == name;
}

// Local paths of the dragged URLs joined by LF (no trailing LF); empty when
// the drag names no local file. A file name is bytes in any encoding, escaped
// by "%" in the list; it is decoded here byte for byte, as QUrl::toLocalFile
// would turn a name that is not UTF-8 into replacement characters.
String FileList(const QMimeData *data) {
    if (!data || !data->hasFormat(UriListType)) return String();
    std::string paths;
    for (const QByteArray &entry : data->data(UriListType).split('\n')) {
        QByteArray line = entry.trimmed(); // the list's lines end in CR LF
        if (line.size() < 5 || line.left(5).compare("file:", Qt::CaseInsensitive) != 0) continue;
        QByteArray rest = line.mid(5);
        if (rest.startsWith("//")) {
            qsizetype slash = rest.indexOf('/', 2);
            if (slash < 0 || !IsLocalHost(rest.mid(2, slash - 2))) continue;
            rest = rest.mid(slash);
        }
        // A "?" or "#" of the name itself comes escaped; a bare one ends the path.
        qsizetype end = rest.indexOf('?');
        if (qsizetype mark = rest.indexOf('#'); mark >= 0 && (end < 0 || mark < end)) end = mark;
        QByteArray path = QByteArray::fromPercentEncoding(end < 0 ? rest : rest.left(end));
        if (!path.startsWith('/') || path.contains('\0') || path.contains('\n')) continue;
        if (!paths.empty()) paths += '\n';
        paths.append(path.constData(), size_t(path.size()));
    }
    return StringFromUtf8(paths);
}

// The one type a drag is taken as, among those the target accepts. File names
// come first: a file manager also offers the names as text or an image preview,
// and the program acts on the files.
uint32_t OfferedType(const QMimeData *data, uint32_t accepted) {
    if (!data) return 0;
    bool files = !FileList(data).empty();
    if (files) return (accepted & DropTypeBit(DropTypeFiles)) ? DropTypeFiles : 0;
    if ((accepted & DropTypeBit(DropTypeImage)) && data->hasImage()) return DropTypeImage;
    if ((accepted & DropTypeBit(DropTypeText)) && data->hasText()) return DropTypeText;
    return 0;
}

} // namespace

uint32_t DropTypeBit(uint32_t type) {
    switch (type) {
    case DropTypeFiles:
        return 1;
    case DropTypeText:
        return 2;
    case DropTypeImage:
        return 4;
    default:
        return 0;
    }
}

bool AnswerDrag(QDragMoveEvent *event, uint32_t acceptedTypes) {
    if (!OfferedType(event->mimeData(), acceptedTypes)) return false;
    // Always copy: after a move the source may delete what it dropped.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

DropRecord *TakeDrop(QDropEvent *event, uint32_t acceptedTypes, QPoint position) {
    const QMimeData *data = event->mimeData();
    uint32_t type = OfferedType(data, acceptedTypes);
    if (!type) {
        event->ignore();
        return nullptr;
    }
    auto *drop = new (std::nothrow) DropRecord;
    if (!drop) {
        event->ignore();
        return nullptr;
    }
    drop->type = type;
    drop->action = DropActionCopy;
    drop->x = position.x();
    drop->y = position.y();
    if (type == DropTypeFiles)
        drop->text = FileList(data);
    else if (type == DropTypeText)
        drop->text = FromQString(data->text());
    else
        drop->image = qvariant_cast<QImage>(data->imageData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return drop;
}

void AcceptWindowDrops(int64_t window, uint32_t type, int) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record || !DropTypeBit(type)) return;
    record->dropTypes |= DropTypeBit(type);
    record->content->setAcceptDrops(true);
}

void AcceptControlDrops(int64_t gadget, uint32_t type, int) {
    GadgetRecord *record = ObjectLookup(GadgetTable, gadget);
    if (!record || !DropTypeBit(type)) return;
    record->dropTypes |= DropTypeBit(type);
    record->handle->setAcceptDrops(true);
    record->dropTarget->setAcceptDrops(true);
}

uint32_t DropKind() {
    const DropRecord *drop = CurrentDropRecord();
    return drop ? drop->type : 0;
}

int DropAction() {
    const DropRecord *drop = CurrentDropRecord();
    return drop ? drop->action : 0;
}

int DropX() {
    const DropRecord *drop = CurrentDropRecord();
    return drop ? drop->x : 0;
}

int DropY() {
    const DropRecord *drop = CurrentDropRecord();
    return drop ? drop->y : 0;
}

String DroppedFileList() {
    const DropRecord *drop = CurrentDropRecord();
    return drop && drop->type == DropTypeFiles ? drop->text : String();
}

String DroppedText() {
    const DropRecord *drop = CurrentDropRecord();
    return drop && drop->type == DropTypeText ? drop->text : String();
}

int64_t DroppedImage() {
    const DropRecord *drop = CurrentDropRecord();
    return drop && drop->type == DropTypeImage && !drop->image.isNull()
               ? reinterpret_cast<int64_t>(&drop->image)
               : 0;
}

int DeliverFileDrop(int64_t window, int64_t gadget, const String &paths, int x, int y) {
    QWidget *target = nullptr;
    QPoint at(x, y);
    if (gadget != -1) {
        GadgetRecord *record = ObjectLookup(GadgetTable, gadget);
        if (!record || !(record->dropTypes & DropTypeBit(DropTypeFiles))) return 0;
        target = record->dropTarget;
        at = record->handle->mapTo(target->window(), at);
        at = target->mapFrom(target->window(), at);
    } else {
        WindowRecord *record = ObjectLookup(WindowTable, window);
        if (!record || !(record->dropTypes & DropTypeBit(DropTypeFiles))) return 0;
        target = record->content;
    }
    // The list is written from the paths' bytes, as a file manager writes it.
    QByteArray list;
    for (const QByteArray &path : QByteArray::fromStdString(Utf8Of(paths)).split('\n'))
        if (!path.isEmpty()) list += "file://" + path.toPercentEncoding("/") + "\r\n";
    QMimeData data;
    data.setData(UriListType, list);
    // As in a real drag: the drag enters first (Qt sends the drop to the widget
    // that took the drag), and a file manager proposes moving; the answer must
    // still be copy.
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return 0;
    QDropEvent event(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
    event.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(target, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction ? 1 : 0;
}
