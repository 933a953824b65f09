#include "pages/CTreePane.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "pages/CVX310View.h"
#include "support/GuiText.h"
#include "support/Icons.h"

namespace lk::gui {
namespace {
constexpr int kPageRole = Qt::UserRole + 1;
}

CTreePane::CTreePane(CVX310View* view) : QWidget(view), view_(view), tree_(new QTreeWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(tree_);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setIconSize(QSize(16, 16));
    tree_->setDragEnabled(false);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                if (item) view_->ShowPage(item->data(0, kPageRole).toInt());
            });
}

QTreeWidgetItem* CTreePane::AddNode(QTreeWidgetItem* parent, const QString& label, int image,
                                    int page) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, label);
    item->setIcon(0, TreeIcons().value(image));
    item->setData(0, kPageRole, page);
    // Each insertion selects the node, so the view passes through its page.
    tree_->setCurrentItem(item);
    return item;
}

void CTreePane::Build() {
    tree_->clear();
    QTreeWidgetItem* device = AddNode(nullptr, SettingText("Device"), 12, 0);
    QTreeWidgetItem* all = AddNode(device, Lang(2), 11, 1);
    AddNode(all, Lang(3), 1, 2);
    AddNode(all, Lang(4), 0, 3);
    AddNode(all, Lang(5), 2, 4);
    AddNode(all, Lang(163), 2, 5);
    AddNode(all, Lang(105), 15, 7);
    AddNode(all, Lang(106), 22, 8);
    AddNode(all, Lang(156), 19, 9);
    AddNode(all, Lang(215), 19, 10);
    AddNode(nullptr, Lang(6), 9, 11);
    tree_->setCurrentItem(all);
    all->setExpanded(true);
    device->setExpanded(true);
}

void CTreePane::SelectPage(int page) {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (item->data(0, kPageRole).toInt() == page) {
            for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
                p->setExpanded(true);
            tree_->setCurrentItem(item);
            return;
        }
    }
}

void CTreePane::SetRootText(const QString& text) {
    if (QTreeWidgetItem* root = tree_->topLevelItem(0)) root->setText(0, text);
}

int CTreePane::SelectedPage() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    return item ? item->data(0, kPageRole).toInt() : -1;
}

}  // namespace lk::gui
