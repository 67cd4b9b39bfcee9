#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QTimer>

#include "form/text_list.h"

namespace gui {

// A list box's view over a TextList of the form model. The view asks only for the rows it
// shows, so a list of a million entries stays quick.
class TextListModel : public QAbstractListModel {
  public:
    TextListModel(const station::TextList& list, QListView* view);

    int rowCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Takes in the entries added since the last refresh and moves the selection. Called for
    // every record of a run, so the view is brought up to date at most every 100 ms: laying
    // out and scrolling a long list per record would cost more than the run itself.
    void refresh();
    // Brings the view up to date now.
    void apply();

  private:
    const station::TextList& list_;
    QListView* view_;
    int shown_ = 0;
    int selection_ = -1;
    QTimer timer_;
};

}  // namespace gui
