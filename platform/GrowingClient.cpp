// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GrowingClient.h"

#include <QResizeEvent>
#include <QScrollArea>

#include <cmath>

namespace qm {
namespace {

// Asks for the client's designed size, not the small default of a scroll area.
class ClientScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        const int f = 2 * frameWidth();
        return widget() ? widget()->minimumSize() + QSize(f, f) : QScrollArea::sizeHint();
    }
};

} // namespace

GrowingClient::GrowingClient(QSize designed, QWidget* parent)
    : QWidget(parent)
    , designed_(designed)
{
    setMinimumSize(designed);
    resize(designed);
}

void GrowingClient::follow(QWidget* control, EdgeShares shares)
{
    followers_.push_back({control, control->geometry(), shares});
}

QScrollArea* GrowingClient::inScrollArea()
{
    auto* area = new ClientScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidgetResizable(true);
    area->setWidget(this);
    return area;
}

void GrowingClient::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const double dx = std::max(0, width() - designed_.width());
    const double dy = std::max(0, height() - designed_.height());
    auto moved = [](int edge, double share, double extra) {
        return edge + static_cast<int>(std::lround(share * extra));
    };
    for (const Follower& f : followers_) {
        if (!f.control)
            continue;
        const QRect& d = f.designed;
        const int left = moved(d.left(), f.shares.left, dx);
        const int top = moved(d.top(), f.shares.top, dy);
        // Right and bottom as the designed rectangle has them: one past the last pixel.
        const int right = moved(d.left() + d.width(), f.shares.right, dx);
        const int bottom = moved(d.top() + d.height(), f.shares.bottom, dy);
        f.control->setGeometry(left, top, right - left, bottom - top);
    }
}

} // namespace qm
