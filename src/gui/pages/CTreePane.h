#pragma once
// The tree of pages at the left of the view: the device (web page), the
// record categories under it, and the device settings.

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
    void SetRootText(const QString& text);
    int SelectedPage() const;
    QTreeWidget* Tree() const { return tree_; }

  private:
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& label, int image, int page);

    CVX310View* view_;
    QTreeWidget* tree_;
};

}  // namespace lk::gui
