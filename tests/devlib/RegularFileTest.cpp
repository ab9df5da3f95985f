#include "torq/devlib/RegularFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <filesystem>

#include "TestSupport.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

// Whatever is not a regular file is refused without being opened, in both access modes, with a
// reason that names the path and says what is there; a symbolic link to a regular file is fine.
TEST(OpenRegularFile, RefusesWhatIsNotARegularFileAndSaysWhatItIs) {
    test::TempDir dir;
    const fs::path fifo = dir / "work.bin";
    test::MakeFifo(fifo);
    const fs::path toFifo = dir / "link-to-fifo";
    fs::create_symlink(fifo, toFifo);
    const struct {
        fs::path path;
        std::string kind;
    } cases[] = {
        {fifo, "a FIFO"},
        {toFifo, "a FIFO"},
        {dir.Path(), "a folder"},
        {"/dev/null", "a character device"},
    };
    for (const auto& c : cases) {
        for (const io::FileAccess access : {io::FileAccess::Read, io::FileAccess::Update}) {
            io::OpenedFile file;
            ASSERT_TRUE(test::ReturnsWithoutBlocking(fifo, [&] {
                file = io::OpenRegularFile(c.path, access);
            })) << c.path;
            EXPECT_FALSE(file.IsOpen()) << c.path;
            EXPECT_FALSE(file.missing) << c.path;
            EXPECT_EQ(file.problem, c.path.string() + " is not a regular file (" + c.kind + ")");
        }
        EXPECT_EQ(io::NonRegularKind(c.path), c.kind);
    }

    const fs::path regular = dir.Write("image.bin", "12345");
    const fs::path toRegular = dir / "link-to-image";
    fs::create_symlink(regular, toRegular);
    const io::OpenedFile linked = io::OpenRegularFile(toRegular, io::FileAccess::Update);
    ASSERT_TRUE(linked.IsOpen());
    EXPECT_EQ(linked.length, 5u);
    // The descriptor handed over blocks as usual: O_NONBLOCK only guarded the open.
    EXPECT_EQ(::fcntl(linked.fd.Get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_FALSE(io::NonRegularKind(regular));

    const io::OpenedFile missing = io::OpenRegularFile(dir / "none.bin", io::FileAccess::Read);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_TRUE(missing.missing);
    EXPECT_NE(missing.problem.find("none.bin cannot be read"), std::string::npos);
    EXPECT_FALSE(io::NonRegularKind(dir / "none.bin"));
}

// A file made for writing: created or truncated when it is a regular file or missing; a FIFO in
// its place is refused and never opened for writing (that open waits for a reader).
TEST(CreateRegularFile, TruncatesRegularFilesAndRefusesAFifo) {
    test::TempDir dir;
    const fs::path old = dir.Write("output.tmp.temp", "old contents");
    io::OpenedFile truncated = io::CreateRegularFile(old);
    ASSERT_TRUE(truncated.IsOpen());
    EXPECT_TRUE(truncated.fd.Close());
    EXPECT_EQ(fs::file_size(old), 0u);
    io::OpenedFile created = io::CreateRegularFile(dir / "new.bin");
    EXPECT_TRUE(created.IsOpen());

    const fs::path fifo = dir / "fifo.tmp";
    test::MakeFifo(fifo);
    io::OpenedFile refused;
    ASSERT_TRUE(test::ReturnsWithoutBlocking(fifo, [&] { refused = io::CreateRegularFile(fifo); }));
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(refused.problem, fifo.string() + " is not a regular file (a FIFO)");
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

}  // namespace
}  // namespace torq
