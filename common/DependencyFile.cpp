#include "common/DependencyFile.h"

#include "common/SlotPool.h"
#include "common/error.h"
#include "common/md5rep.h"

namespace {

uint64_t pointerBits(const PooledString& text)
{
    return reinterpret_cast<uintptr_t>(text.c_str());
}

}  // namespace

void* DependencyFile::operator new(std::size_t size)
{
    static SlotPool<sizeof(DependencyFile)>* pool = new SlotPool<sizeof(DependencyFile)>;
    if (size != sizeof(DependencyFile))
        throw KW_INTERNAL_ERROR();
    return pool->take();
}

// Slots are never reused and blocks never freed.
void DependencyFile::operator delete(void*) {}

DependencyFile::DependencyFile(const std::string& path, int mode_, const std::string& digest_text, const Package* owner)
    : Dependency(owner), directory(""), file(""), mode(mode_), digest(nullptr), link("")
{
    setPath(path);
    setDigest(digest_text);
}

DependencyFile::DependencyFile(const DependencyFile& other)
    : Dependency(other.getOwner()), directory(other.directory), file(other.file), mode(12345), digest(nullptr), link("")
{
}

// The digest stays in its pool.
DependencyFile::~DependencyFile() = default;

void DependencyFile::setPath(const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        directory = PooledString("");
        file = PooledString(path);
    } else {
        directory = PooledString(path.substr(0, slash + 1));
        file = PooledString(path.substr(slash + 1));
    }
}

void DependencyFile::setMode(int mode_)
{
    mode = mode_;
}

void DependencyFile::setDigest(const std::string& text)
{
    if (text.empty())
        return;
    if (!isRegular()) {
        link = PooledString(text);
        return;
    }
    md5rep_t* slot = new md5rep_t;
    try {
        md5_from_hex(text, *slot);
    } catch (...) {
        delete slot;
        throw;
    }
    digest = slot;
}

int DependencyFile::getFileType() const
{
    switch (mode & 0xF000) {
    case 0x1000: return 1;
    case 0x2000: return 2;
    case 0x4000: return 4;
    case 0x6000: return 6;
    case 0xA000: return 10;
    case 0xC000: return 12;
    default: return 8;
    }
}

std::string DependencyFile::getMd5String() const
{
    return digest ? md5_to_hex(*digest) : std::string(link.c_str());
}

std::string DependencyFile::getName() const
{
    return std::string(directory.c_str()) + file.c_str();
}

bool DependencyFile::isSatisfiedBy(const Dependency* provide) const
{
    return isSameTarget(provide);
}

std::size_t DependencyFile::hash() const
{
    uint64_t d = pointerBits(directory);
    uint64_t f = pointerBits(file);
    return ((d << 21) | (d >> 11)) * 5 + ((f << 19) | (f >> 13)) * 3;
}

bool DependencyFile::isSameTarget(const Dependency* other) const
{
    const DependencyFile* path = dynamic_cast<const DependencyFile*>(other);
    return path && path->directory == directory && path->file == file;
}

bool DependencyFile::equals(const boost::shared_ptr<Dependency>& other) const
{
    return isSameTarget(other);
}

boost::shared_ptr<Dependency> DependencyFile::clone() const
{
    return boost::shared_ptr<Dependency>(new DependencyFile(*this));
}

std::ostream& DependencyFile::print(std::ostream& out) const
{
    return out << directory.c_str() << file.c_str();
}
