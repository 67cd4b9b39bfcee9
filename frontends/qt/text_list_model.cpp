#include "qt/text_list_model.h"

namespace gui {

TextListModel::TextListModel(const station::TextList& list, QListView* view)
    : QAbstractListModel(view), list_(list), view_(view) {
    view_->setModel(this);
    view_->setUniformItemSizes(true);
    view_->setLayoutMode(QListView::Batched);
    timer_.setSingleShot(true);
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, this, &TextListModel::apply);
}

int TextListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

QVariant TextListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) {
        return {};
    }
    std::string_view entry = list_.at(static_cast<size_t>(index.row()));
    return QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
}

void TextListModel::refresh() {
    if (!timer_.isActive()) {
        timer_.start();
    }
}

void TextListModel::apply() {
    int size = static_cast<int>(list_.size());
    if (size < shown_) {  // emptied for a run started again
        beginResetModel();
        shown_ = size;
        endResetModel();
    }
    if (size > shown_) {
        beginInsertRows({}, shown_, size - 1);
        shown_ = size;
        endInsertRows();
    }
    if (list_.selection() != selection_) {
        selection_ = list_.selection();
        QModelIndex current = index(selection_, 0);
        view_->setCurrentIndex(current);
        view_->scrollTo(current);
    }
}

}  // namespace gui
