// The macOS half of WakeWatch: the workspace's did-wake notification and the
// screen-unlocked distributed notification, observed on the main queue.

#include "WakeWatch.hpp"

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include <QPointer>

namespace menubar::app {

WakeWatch::WakeWatch(QObject* parent) : QObject(parent) {
    QPointer<WakeWatch> self(this);
    void (^wake)(NSNotification*) = ^(NSNotification*) {
      if (self) {
          emit self->awake();
      }
    };
    NSOperationQueue* main = [NSOperationQueue mainQueue];
    id woke = [[[NSWorkspace sharedWorkspace] notificationCenter]
        addObserverForName:NSWorkspaceDidWakeNotification
                    object:nil
                     queue:main
                usingBlock:wake];
    id unlocked = [[NSDistributedNotificationCenter defaultCenter]
        addObserverForName:@"com.apple.screenIsUnlocked"
                    object:nil
                     queue:main
                usingBlock:wake];
    observers_ = const_cast<void*>(CFBridgingRetain(@[ woke, unlocked ]));
}

WakeWatch::~WakeWatch() {
    NSArray* observers = CFBridgingRelease(observers_);
    [[[NSWorkspace sharedWorkspace] notificationCenter] removeObserver:observers[0]];
    [[NSDistributedNotificationCenter defaultCenter] removeObserver:observers[1]];
}

} // namespace menubar::app
