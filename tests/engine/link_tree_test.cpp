#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <thread>

#include "engine/engine_fixture.h"

namespace sg::test {

namespace {

using LinkTree = ControllerTest;

TEST_F(LinkTree, NewLinksJoinTheTreeOnceEachAndFragmentsNotAtAll) {
  setRoot("http://www.example.com/index.html");
  std::string rewritten;
  EXPECT_TRUE(controller.addChild("a.html", &rewritten, false));
  EXPECT_EQ(rewritten, "/S/www.example.com/a.html");
  EXPECT_FALSE(controller.addChild("a.html#part", &rewritten, false));
  EXPECT_EQ(rewritten, "/S/www.example.com/a.html#part");
  EXPECT_FALSE(controller.addChild("http://www.example.com/a.html", &rewritten, false));
  // A link to a part of the page itself, or no link at all, adds nothing.
  EXPECT_FALSE(controller.addChild("#section", &rewritten, false));
  EXPECT_EQ(rewritten, "/S/www.example.com/index.html#section");
  EXPECT_FALSE(controller.addChild("", &rewritten, false));
  EXPECT_TRUE(rewritten.empty());
  ASSERT_EQ(controller.childCount(), 1u);

  LinkRecord* child = controller.child(0);
  EXPECT_EQ(child->url(), "http://www.example.com/a.html");
  EXPECT_EQ(child->depth, 1);
  EXPECT_EQ(child->parent, &controller);
  EXPECT_EQ(observer.count(UpdateCode::LinkAdded), 1u);
}

TEST_F(LinkTree, SameImageFromTenPagesIsOneRecordUnderTheFirstPage) {
  setRoot("http://www.example.com/");
  std::vector<LinkRecord*> pages;
  for (int i = 0; i < 10; ++i) {
    controller.addChild("page" + std::to_string(i) + ".html", nullptr, false);
    pages.push_back(controller.child(controller.childCount() - 1));
  }
  for (LinkRecord* page : pages) page->addChild("/img/logo.gif", nullptr, true);
  EXPECT_EQ(pages[0]->childCount(), 1u);
  for (size_t i = 1; i < pages.size(); ++i) EXPECT_EQ(pages[i]->childCount(), 0u);
  LinkRecord* image = controller.find("http://www.example.com/img/logo.gif");
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(image->inlineLink);
  EXPECT_EQ(image->parent, pages[0]);
  EXPECT_EQ(controller.registry().size(), 12u);
}

TEST_F(LinkTree, HostCaseMakesTwoLinksButOneExclusionCoversBoth) {
  controller.settings.maxServerDepth = 1;  // the radius compares servers exactly
  setRoot("http://www.example.com/");
  EXPECT_TRUE(controller.addChild("http://www.example.com/a.html", nullptr, false));
  EXPECT_TRUE(controller.addChild("http://WWW.Example.com/a.html", nullptr, false));
  EXPECT_EQ(controller.childCount(), 2u);

  controller.exclusions().addPattern("http://www.example.com/b.html");
  EXPECT_FALSE(controller.addChild("http://www.example.com/b.html", nullptr, false));
  EXPECT_FALSE(controller.addChild("http://WWW.EXAMPLE.COM/b.html", nullptr, false));
  EXPECT_EQ(controller.childCount(), 2u);
}

TEST_F(LinkTree, ManyThreadsRegisteringTheSameUrlsGetOneRecordEach) {
  setRoot("http://www.example.com/");
  constexpr int kThreads = 8;
  constexpr int kUrls = 3000;
  for (int t = 0; t < kThreads; ++t) controller.addChild("page" + std::to_string(t) + ".html", nullptr, false);
  std::vector<LinkRecord*> pages;
  for (int t = 0; t < kThreads; ++t) pages.push_back(controller.child(t));

  std::vector<std::thread> threads;
  std::atomic<int> addedTotal{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<int> order(kUrls);
      for (int i = 0; i < kUrls; ++i) order[i] = i;
      std::shuffle(order.begin(), order.end(), std::mt19937(t));
      for (int i : order) {
        if (pages[t]->addChild("/shared/u" + std::to_string(i) + ".html", nullptr, i % 3 == 0)) ++addedTotal;
      }
    });
  }
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(addedTotal.load(), kUrls);
  std::set<std::string> seen;
  size_t children = 0;
  for (LinkRecord* page : pages) {
    for (size_t i = 0; i < page->childCount(); ++i) {
      ++children;
      EXPECT_TRUE(seen.insert(page->child(i)->url()).second) << "twice in the tree: " << page->child(i)->url();
      EXPECT_EQ(controller.find(page->child(i)->url()), page->child(i));
    }
  }
  EXPECT_EQ(children, static_cast<size_t>(kUrls));
  EXPECT_EQ(controller.registry().size(), static_cast<size_t>(kUrls + kThreads + 1));
  EXPECT_EQ(observer.count(UpdateCode::LinkAdded), static_cast<size_t>(kUrls + kThreads));
}

TEST_F(LinkTree, DeepTreesAreDestroyedWithoutRecursion) {
  controller.settings.maxCrawlDepth = 50000;
  setRoot("http://www.example.com/");
  LinkRecord* page = &controller;
  for (int i = 0; i < 60000; ++i) {
    ASSERT_TRUE(page->addChild("/d" + std::to_string(i), nullptr, false));
    page = page->child(0);
  }
  EXPECT_FALSE(page->include);
  controller.setInclude(true);
  EXPECT_TRUE(page->include);
  controller.registry().clear();
  controller.destroyChildren();
  EXPECT_EQ(controller.childCount(), 0u);
}

}  // namespace
}  // namespace sg::test
