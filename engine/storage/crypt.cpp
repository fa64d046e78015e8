namespace crypt {

void UnitInit() {}
void UnitDone() {}

}  // namespace crypt
