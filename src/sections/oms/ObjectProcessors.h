#pragma once

#include <memory>
#include <set>
#include <vector>

#include "helper/MigrationContext.h"
#include "helper/ObjectData.h"
#include "sections/interfaces/IObjectMapper.h"
#include "storage/LdapData.h"

namespace KvMigration {

// What the import writes: the services and servers to update, the containers (organisational
// units, the domain, and servers too) whose policy links are rebuilt, and their policies.
struct ImportBuckets {
    ObjectDataMap services;
    ObjectDataMap servers;
    ObjectDataMap containers;
    ObjectDataMap policies;
};

// Binds records of the file to the target: translates their identifiers, then decides from the
// target storage whether and where a record is imported. Each acts on its own kinds only.
class IOmsObjectProcessor {
public:
    virtual void ProcessObject(ILdapData& data, ImportBuckets& buckets,
                               const ObjectDataPtr& record) = 0;
    // May rewrite the record's identifier; an empty one drops the record.
    virtual void PrepareObject(CObjectData& record, IObjectMapper& mapper) = 0;
    virtual ~IOmsObjectProcessor() = default;
};
using ObjectProcessorPtr = std::shared_ptr<IOmsObjectProcessor>;

// The management server: its identifier becomes the target server's; with -fi or without the
// marks it is updated and its policies rebuilt; without -priv its security descriptor is left out.
class OmsServerProcessor : public IOmsObjectProcessor {
public:
    explicit OmsServerProcessor(const MigrationContext& context) : context_(context) {}
    void ProcessObject(ILdapData& data, ImportBuckets& buckets,
                       const ObjectDataPtr& record) override;
    void PrepareObject(CObjectData& record, IObjectMapper& mapper) override;

private:
    MigrationContext context_;
};

// A service: its SID is translated into the target domain; a service the target storage does not
// know is reported in yellow and left out.
class OmsServiceProcessor : public IOmsObjectProcessor {
public:
    explicit OmsServiceProcessor(const MigrationContext& context) : context_(context) {}
    void ProcessObject(ILdapData& data, ImportBuckets& buckets,
                       const ObjectDataPtr& record) override;
    void PrepareObject(CObjectData& record, IObjectMapper& mapper) override;

private:
    MigrationContext context_;
};

// An organisational unit or the domain: only those inside the target's Active Directory domain.
class OmsContainerProcessor : public IOmsObjectProcessor {
public:
    explicit OmsContainerProcessor(const MigrationContext& context) : context_(context) {}
    void ProcessObject(ILdapData& data, ImportBuckets& buckets,
                       const ObjectDataPtr& record) override;
    void PrepareObject(CObjectData&, IObjectMapper&) override {}

private:
    MigrationContext context_;
};

// A policy: its device policy brought up to the target server's product version.
class OmsPolicyProcessor : public IOmsObjectProcessor {
public:
    void ProcessObject(ILdapData& data, ImportBuckets& buckets,
                       const ObjectDataPtr& record) override;
    void PrepareObject(CObjectData&, IObjectMapper&) override {}
};

// Every member in list order.
class OmsGroupProcessor : public IOmsObjectProcessor {
public:
    void Add(ObjectProcessorPtr processor) { members_.push_back(std::move(processor)); }
    size_t Size() const { return members_.size(); }
    void ProcessObject(ILdapData& data, ImportBuckets& buckets,
                       const ObjectDataPtr& record) override;
    void PrepareObject(CObjectData& record, IObjectMapper& mapper) override;

private:
    std::vector<ObjectProcessorPtr> members_;
};

// The processors of the selected sections: the server section a server and a policy processor,
// the client section a service processor, the policy section a server, a container and a policy
// processor, in this order (so a kind may be processed twice).
std::shared_ptr<OmsGroupProcessor> MakeProcessorGroup(const MigrationContext& context,
                                                      const std::set<int>& sections);

// Runs the records of the file, in file order, through the processor group of the selection.
// Every record of a selected kind that is not to be written is recorded as skipped in the
// context's journal, with its reason; a failure as failed for its record before it is raised on.
class LdapReader {
public:
    static ImportBuckets Read(const MigrationContext& context, ILdapData& data,
                              IObjectMapper& mapper, std::vector<ObjectDataPtr> records,
                              const std::set<int>& sections);
};

// Drops the policies that no container of the bucket links; returns them.
ObjectDataMap EraseLostPolicies(const ObjectDataMap& containers, ObjectDataMap& policies);

}  // namespace KvMigration
