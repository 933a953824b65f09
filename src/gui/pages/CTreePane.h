#pragma once
// The tree of pages at the left of the view: the device (web page), the
// record categories under it, and the device settings.

#include <QStringList>
#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;

namespace lk::gui {

class CVX310View;

class CTreePane : public QWidget {
    Q_OBJECT
  public:
    explicit CTreePane(CVX310View* view);

    // Inserts the nodes, selecting each in turn, then selects "all records".
    void Build();
    // Selects the first node (expanding on the way) whose page is `page`;
    // nothing changes when no node has it.
    void SelectPage(int page);
    // Moves the selection to the node before (-1) or after (1) the current
    // one, in the tree's order, expanding on the way; stops at either end.
    void StepPage(int step);
    void SetRootText(const QString& text);
    // One node per tag under the record pages, after them; choosing one
    // lists its calls. The node shown stays chosen when its tag remains.
    void SetTags(const QStringList& tags);
    QStringList Tags() const;
    int SelectedPage() const;
    QTreeWidget* Tree() const { return tree_; }

  private:
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& label, int image, int page);

    CVX310View* view_;
    QTreeWidget* tree_;
    bool building_ = false;  // tag nodes being remade: no page changes
};

}  // namespace lk::gui
