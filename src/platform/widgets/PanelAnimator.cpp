#include "platform/widgets/PanelAnimator.h"

#include <QCoreApplication>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <utility>

namespace sm::widgets {

namespace {
QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    return {a.x() + (b.x() - a.x()) * t, a.y() + (b.y() - a.y()) * t, a.width() + (b.width() - a.width()) * t,
            a.height() + (b.height() - a.height()) * t};
}
} // namespace

PanelAnimator::PanelAnimator(QObject* owner, std::function<void(const QRectF&)> applyFrame,
                             std::function<void(double)> applyAlpha)
    : owner_(owner), applyFrame_(std::move(applyFrame)), applyAlpha_(std::move(applyAlpha)) {}

void PanelAnimator::setFrame(const QRectF& frame) {
    stopFrame();
    applyFrame_(frame);
}

void PanelAnimator::setAlpha(double alpha) {
    stopAlpha();
    alphaTarget_ = alpha;
    applyAlpha_(alpha);
}

QVariantAnimation* PanelAnimator::start(double seconds, std::function<void(double)> step) {
    auto* animation = new QVariantAnimation(owner_);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(static_cast<int>(seconds * 1000.0));
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(animation, &QVariantAnimation::valueChanged, owner_,
                     [step = std::move(step)](const QVariant& v) { step(v.toDouble()); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

void PanelAnimator::animate(const QRectF& from, const std::optional<QRectF>& frame, double fromAlpha,
                            double alpha, double seconds, std::function<void()> completion) {
    if (frame) {
        stopFrame();
        if (seconds > 0.0) {
            frameTarget_ = *frame;
            frameAnimation_ =
                start(seconds, [this, from, to = *frame](double t) { applyFrame_(lerp(from, to, t)); });
            QObject::connect(frameAnimation_, &QAbstractAnimation::finished, owner_, [this] {
                frameAnimation_ = nullptr;
                frameTarget_.reset();
            });
        } else {
            applyFrame_(*frame);
        }
    }
    stopAlpha();
    alphaTarget_ = alpha;
    if (seconds > 0.0) {
        alphaAnimation_ = start(seconds, [this, fromAlpha, alpha](double t) {
            applyAlpha_(fromAlpha + (alpha - fromAlpha) * t);
        });
        QObject::connect(alphaAnimation_, &QAbstractAnimation::finished, owner_,
                         [this] { alphaAnimation_ = nullptr; });
    } else {
        applyAlpha_(alpha);
    }
    if (completion)
        QTimer::singleShot(static_cast<int>(std::max(0.0, seconds) * 1000.0), qApp, std::move(completion));
}

void PanelAnimator::halt(QVariantAnimation*& running) {
    QVariantAnimation* animation = std::exchange(running, nullptr);
    animation->disconnect(owner_);
    animation->stop();
}

void PanelAnimator::stopFrame() {
    if (!frameAnimation_) return;
    halt(frameAnimation_);
    if (frameTarget_) applyFrame_(*std::exchange(frameTarget_, std::nullopt));
}

void PanelAnimator::stopAlpha() {
    if (alphaAnimation_) halt(alphaAnimation_);
}

void PanelAnimator::cancel() {
    if (frameAnimation_) halt(frameAnimation_);
    if (alphaAnimation_) halt(alphaAnimation_);
    frameTarget_.reset();
}

} // namespace sm::widgets
